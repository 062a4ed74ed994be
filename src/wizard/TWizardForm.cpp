// The wizard's window: the picture, the pages' frame and the buttons below them, the
// navigation between the pages, and the writing of the fields into the first configuration.
// The pages themselves are built in TWizardFormPages.cpp.
#include "wizard/TWizardForm.h"

#include "widgets/MaskedBytesEdit.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString Title = QStringLiteral("Quilmora Configuration Wizard");

// The picture of the left panel: mail turning into news, on the product's blue.
QPixmap wizardPicture(const QSize &size)
{
    QPixmap pixmap(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0.0, QColor(0x12, 0x2f, 0x5c));
    sky.setColorAt(1.0, QColor(0x1f, 0x7a, 0x8c));
    p.fillRect(pixmap.rect(), sky);

    // Envelopes drifting down into a stack of pages.
    const auto envelope = [&p](const QRectF &r, qreal opacity) {
        p.setOpacity(opacity);
        p.setPen(QPen(QColor(0x12, 0x2f, 0x5c), 1.5));
        p.setBrush(QColor(0xf4, 0xf1, 0xe8));
        p.drawRect(r);
        QPainterPath flap;
        flap.moveTo(r.topLeft());
        flap.lineTo(r.center().x(), r.top() + r.height() * 0.55);
        flap.lineTo(r.topRight());
        p.setBrush(Qt::NoBrush);
        p.drawPath(flap);
        p.setOpacity(1.0);
    };
    const qreal w = size.width();
    envelope(QRectF(w * 0.14, 40, 46, 30), 0.55);
    envelope(QRectF(w * 0.52, 82, 52, 34), 0.75);
    envelope(QRectF(w * 0.22, 128, 58, 38), 0.95);

    const QRectF sheet(w * 0.2, size.height() * 0.55, w * 0.6, size.height() * 0.28);
    for (int i = 2; i >= 0; --i) {
        p.setPen(QPen(QColor(0x12, 0x2f, 0x5c), 1));
        p.setBrush(QColor(0xff, 0xff, 0xff, 255 - i * 50));
        p.drawRect(sheet.translated(i * 6, -i * 6));
    }
    p.setPen(QPen(QColor(0x1f, 0x7a, 0x8c), 3));
    for (int line = 0; line < 6; ++line) {
        const qreal y = sheet.top() + 14 + line * (sheet.height() - 24) / 5;
        const qreal right = line == 0 ? sheet.center().x() : sheet.right() - 10;
        p.drawLine(QPointF(sheet.left() + 10, y), QPointF(right, y));
    }

    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(22);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, size.height() - 44, w, 30), Qt::AlignCenter, QStringLiteral("Quilmora"));
    return pixmap;
}

// A button that shows its action: caption and state follow the action, a click triggers it.
void bindButton(QPushButton *button, QAction *action)
{
    const auto sync = [button, action]() {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
    };
    QObject::connect(action, &QAction::changed, button, sync);
    QObject::connect(button, &QPushButton::clicked, action, &QAction::trigger);
    sync();
}

} // namespace

TWizardForm::TWizardForm(const WizardContext &context, QWidget *parent)
    : QDialog(parent)
    , m_ctx(context)
{
    Q_ASSERT(m_ctx.prompts && m_ctx.shell && m_ctx.clock);
    setObjectName(QStringLiteral("WizardForm"));
    setWindowTitle(Title);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(ClientWidth, ClientHeight);
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setPixelSize(12);
    setFont(windowFont);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto *upper = new QHBoxLayout;
    upper->setSpacing(0);
    outer->addLayout(upper, 1);

    Image1 = new QLabel;
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setFixedSize(PictureWidth, ClientHeight - BottomHeight);
    Image1->setPixmap(wizardPicture(Image1->size()));
    upper->addWidget(Image1);

    pctrlWizard = new QTabWidget;
    pctrlWizard->setObjectName(QStringLiteral("pctrlWizard"));
    pctrlWizard->setDocumentMode(true);
    upper->addWidget(pctrlWizard, 1);

    buildPages();

    // The bottom panel: a thin line along its top and the three buttons at the right.
    auto *bottom = new QWidget;
    bottom->setObjectName(QStringLiteral("pnlBottom"));
    bottom->setFixedHeight(BottomHeight);
    auto *bottomLayout = new QVBoxLayout(bottom);
    bottomLayout->setContentsMargins(0, 0, 0, 0);
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    bottomLayout->addWidget(line);
    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 0, 10, 0);
    buttons->setSpacing(6);
    buttons->addStretch();
    bottomLayout->addStretch();
    bottomLayout->addLayout(buttons);
    bottomLayout->addStretch();
    outer->addWidget(bottom);

    actnPrevious = new QAction(QStringLiteral("< &Previous "), this);
    actnPrevious->setObjectName(QStringLiteral("actnPrevious"));
    actnNext = new QAction(QStringLiteral("&Next >"), this);
    actnNext->setObjectName(QStringLiteral("actnNext"));
    actnCancel = new QAction(QStringLiteral("&Cancel"), this);
    actnCancel->setObjectName(QStringLiteral("actnCancel"));
    connect(actnPrevious, &QAction::triggered, this, &TWizardForm::actnPreviousExecute);
    connect(actnNext, &QAction::triggered, this, &TWizardForm::actnNextExecute);
    connect(actnCancel, &QAction::triggered, this, &TWizardForm::actnCancelExecute);

    const auto makeButton = [&](const char *name, QAction *action) {
        auto *b = new QPushButton;
        b->setObjectName(QString::fromLatin1(name));
        b->setFixedSize(75, 25);
        b->setAutoDefault(false);
        bindButton(b, action);
        buttons->addWidget(b);
        return b;
    };
    butnPrevious = makeButton("butnPrevious", actnPrevious);
    butnNext = makeButton("butnNext", actnNext);
    butnCancel = makeButton("butnCancel", actnCancel);
    butnNext->setDefault(true);

    FormCreate();
}

void TWizardForm::FormCreate()
{
    // Pages change only through the buttons.
    pctrlWizard->tabBar()->hide();
    pctrlWizard->tabBar()->setFocusPolicy(Qt::NoFocus);
    pctrlWizard->setFocusPolicy(Qt::NoFocus); // no invisible stop in the tab round
    pctrlWizard->setCurrentIndex(0);
    actnPrevious->setEnabled(false);
}

TWizardForm::~TWizardForm() = default;

QString TWizardForm::configFilePath() const
{
    return ProgramFolder::filePath(m_ctx.programFolder, QStringLiteral("quilmora.ini"));
}

WizardFields TWizardForm::fields() const
{
    const TextCodec &c = m_ctx.codec;
    WizardFields f;
    f.serverName = c.encode(editServerName->text());
    f.smtpServer = c.encode(editSMTPServer->text());
    f.adminEmail = c.encode(editAdminEmail->text());
    f.adminEmailActive = chkbAdminEmailActive->isChecked();
    f.outboundPrefix = c.encode(editOBPrefix->text());
    f.outboundMarker = c.encode(editOBMarker->text());
    f.popServer = c.encode(editPOPServer->text());
    f.popUser = c.encode(editPOPUser->text());
    f.popPassword = c.encode(editPOPPass->text());
    f.autoReply = chkbAutoReply->isChecked();
    f.autoReplyFrom = c.encode(editAutoReplyFrom->text());
    f.autoReplySubject = c.encode(editAutoReplySubject->text());
    // The memo's lines separated by CR LF, nothing after the last one.
    QString body = memoAutoReply->toPlainText();
    body.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    f.autoReplyBody = c.encode(body);
    f.groupName = c.encode(editGroupName->text());
    f.groupDescription = c.encode(editGroupDesc->text());
    f.groupOutboundAddress = c.encode(editGroupOBAddress->text());
    f.userDescription = c.encode(editUserDesc->text());
    f.userName = c.encode(editUserName->text());
    f.userPass = editUserPass->bytes();
    return f;
}

void TWizardForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_activated)
        return;
    m_activated = true;
    if (QScreen *screen = this->screen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    butnNext->setFocus(Qt::OtherFocusReason);
    // The overwrite question comes once the window stands on the screen.
    QTimer::singleShot(0, this, &TWizardForm::FormActivate);
}

void TWizardForm::FormActivate()
{
    if (!QFileInfo::exists(configFilePath()))
        return;
    if (!m_ctx.prompts->yesNo(QStringLiteral("A configuration already exists. Running the wizard will overwrite it. "
                                             "Are you sure you want to continue?")))
        reject(); // ends the run without writing
}

void TWizardForm::actnNextExecute()
{
    const int last = pctrlWizard->count() - 1;
    if (pctrlWizard->currentIndex() == last) {
        // Also when the user declined to replace an existing file; only a failed write
        // keeps the wizard open, so Finish can be pressed again.
        if (WriteConfiguration())
            accept();
        return;
    }
    pctrlWizard->setCurrentIndex(pctrlWizard->currentIndex() + 1);
    actnNext->setText(QStringLiteral("&Next >"));
    if (pctrlWizard->currentIndex() == last)
        actnNext->setText(QStringLiteral("&Finish"));
    actnPrevious->setEnabled(pctrlWizard->currentIndex() > 0);
    pageChanged();
}

void TWizardForm::actnPreviousExecute()
{
    if (pctrlWizard->currentIndex() > 0)
        pctrlWizard->setCurrentIndex(pctrlWizard->currentIndex() - 1);
    actnPrevious->setEnabled(pctrlWizard->currentIndex() > 0);
    actnNext->setEnabled(pctrlWizard->currentIndex() < pctrlWizard->count() - 1);
    actnNext->setText(QStringLiteral("&Next >"));
    pageChanged();
}

void TWizardForm::pageChanged()
{
    // The focus goes to the page's first field, or to Next on a page without fields (and
    // never stays on a button that has just been disabled).
    QWidget *first = m_firstField.value(pctrlWizard->currentIndex());
    if (first && first->isEnabled())
        first->setFocus(Qt::TabFocusReason);
    else
        butnNext->setFocus(Qt::OtherFocusReason);
}

void TWizardForm::actnCancelExecute()
{
    if (m_ctx.prompts->yesNo(QStringLiteral("Are you sure you want to exit the Wizard")))
        reject();
}

bool TWizardForm::WriteConfiguration()
{
    QString error;
    const WizardWriteResult result = ::WriteConfiguration(
        configFilePath(), fields(), m_ctx.clock->today(),
        [this]() { return m_ctx.prompts->okCancel(QString::fromLatin1(WizardWriter::OverwriteQuestion)); }, &error);
    if (result == WizardWriteResult::Failed) {
        m_ctx.prompts->error(error);
        return false;
    }
    return true;
}

void TWizardForm::keyPressEvent(QKeyEvent *event)
{
    // Esc is the Cancel button, with its question; only the close box ends without one.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        actnCancel->trigger();
        return;
    }
    QDialog::keyPressEvent(event);
}

