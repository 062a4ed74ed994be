#include "wizard/TWizardForm.h"

#include "config/PasswordEntry.h"
#include "widgets/MaskedBytesEdit.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/Shell.h"

#include <QAction>
#include <QCheckBox>
#include <QFileInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QMouseEvent>
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
constexpr int PageMargin = 12;

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

QLabel *caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    // The long captions take a second line rather than being cut at the page's edge.
    label->setWordWrap(true);
    return label;
}

QLineEdit *lineEdit(const char *name)
{
    auto *edit = new QLineEdit;
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
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

    const TextCodec &codec = m_ctx.codec;
    const WizardFields initial;

    // 1: Welcome
    tabsWelcome = newPage("tabsWelcome", QStringLiteral("Quilmora setup wizard"), 1,
                          QStringLiteral("Welcome to the Quilmora Setup Wizard\n\n"
                                         "This wizard will guide you through the necessary steps to get Quilmora up "
                                         "and running. You can later adjust any settings you enter by using the "
                                         "Quilmora Configuration Editor\n\n"
                                         "Click on the Next button to start!"));
    static_cast<QVBoxLayout *>(tabsWelcome->layout())->addStretch();
    m_firstField.append(nullptr);

    // 2: Server settings
    tabsGeneral = newPage(
        "tabsGeneral", QStringLiteral("Server settings"), 2,
        QStringLiteral("The server needs some basic settings to operate correctly. Fill in the information below:"));
    {
        auto *l = static_cast<QVBoxLayout *>(tabsGeneral->layout());
        editServerName = lineEdit("editServerName");
        editSMTPServer = lineEdit("editSMTPServer");
        editAdminEmail = lineEdit("editAdminEmail");
        chkbAdminEmailActive = new QCheckBox(QStringLiteral("Active"));
        chkbAdminEmailActive->setObjectName(QStringLiteral("chkbAdminEmailActive"));
        l->addWidget(caption(QStringLiteral("Server Name (normally identifies your company, e.g. news.company.example)"),
                             editServerName));
        l->addWidget(editServerName);
        l->addWidget(caption(QStringLiteral("Outgoing Mail Server (used to send replies to customers)"), editSMTPServer));
        l->addWidget(editSMTPServer);
        l->addWidget(caption(QStringLiteral("Administrator E-Mail (notifications will be sent to this account)"),
                             editAdminEmail));
        auto *row = new QHBoxLayout;
        row->addWidget(editAdminEmail, 1);
        row->addWidget(chkbAdminEmailActive);
        l->addLayout(row);
        l->addStretch();
        editServerName->setText(codec.decode(initial.serverName));
        editSMTPServer->setText(codec.decode(initial.smtpServer));
        editAdminEmail->setText(codec.decode(initial.adminEmail));
        chkbAdminEmailActive->setChecked(initial.adminEmailActive);
        m_firstField.append(editServerName);
    }

    // 3: Outbound settings
    tabsOutbound = newPage("tabsOutbound", QStringLiteral("Outbound settings"), 3,
                           QStringLiteral("Quilmora allows you to respond to incoming e-mails using your traditional "
                                          "news client. In order to indicate to the Quilmora server that the posting "
                                          "should be sent out to the client, some settings need to be filled in:"));
    {
        auto *l = static_cast<QVBoxLayout *>(tabsOutbound->layout());
        editOBPrefix = lineEdit("editOBPrefix");
        editOBMarker = lineEdit("editOBMarker");
        l->addWidget(caption(QStringLiteral("Prefix (add this prefix to subject line of outoging mail, e.g. \"QM-\")"),
                             editOBPrefix));
        l->addWidget(editOBPrefix);
        l->addWidget(caption(QStringLiteral("Marker (subject lines containing marker are outbound, e.g. \">>>\")"),
                             editOBMarker));
        l->addWidget(editOBMarker);
        l->addStretch();
        editOBPrefix->setText(codec.decode(initial.outboundPrefix));
        editOBMarker->setText(codec.decode(initial.outboundMarker));
        m_firstField.append(editOBPrefix);
    }

    // 4: Incoming mail
    tabsIncoming = newPage("tabsIncoming", QStringLiteral("Incoming mail"), 4,
                           QStringLiteral("Quilmora needs an incoming POP account to poll for new messages and "
                                          "automatically post them on the server. You need to configure at least one "
                                          "POP account. Using Quilmora Configuration Editor you can later configure "
                                          "more than one account."));
    {
        auto *l = static_cast<QVBoxLayout *>(tabsIncoming->layout());
        editPOPServer = lineEdit("editPOPServer");
        editPOPUser = lineEdit("editPOPUser");
        editPOPPass = lineEdit("editPOPPass");
        editPOPPass->setEchoMode(QLineEdit::Password);
        editPOPPass->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
        l->addWidget(caption(QStringLiteral("POP Server (e.g. pop.company.example)"), editPOPServer));
        l->addWidget(editPOPServer);
        auto *grid = new QGridLayout;
        grid->addWidget(caption(QStringLiteral("User ID (e,g. sales)"), editPOPUser), 0, 0);
        grid->addWidget(editPOPUser, 1, 0);
        grid->addWidget(caption(QStringLiteral("Password"), editPOPPass), 0, 1);
        grid->addWidget(editPOPPass, 1, 1);
        l->addLayout(grid);
        l->addStretch();
        m_firstField.append(editPOPServer);
    }

    // 5: AutoReply
    tabsAutoReply = newPage("tabsAutoReply", QStringLiteral("AutoReply"), 5,
                            QStringLiteral("When a message is received via the POP account configured in the previous "
                                           "step, Quilmora can optionally send an auto-reply to the originator of the "
                                           "e-mail address."));
    {
        auto *l = static_cast<QVBoxLayout *>(tabsAutoReply->layout());
        // The check box stands on the group box's top edge but is not inside it, so that
        // disabling the box leaves the check box usable.
        auto *area = new QWidget;
        auto *areaLayout = new QVBoxLayout(area);
        areaLayout->setContentsMargins(0, 0, 0, 0);
        chkbAutoReply = new QCheckBox(QStringLiteral("Send AutoReply "), area);
        chkbAutoReply->setObjectName(QStringLiteral("chkbAutoReply"));
        chkbAutoReply->setAutoFillBackground(true);
        chkbAutoReply->adjustSize();
        areaLayout->addSpacing(chkbAutoReply->height() / 2);
        grpbAutoReply = new QGroupBox;
        grpbAutoReply->setObjectName(QStringLiteral("grpbAutoReply"));
        areaLayout->addWidget(grpbAutoReply);
        chkbAutoReply->move(8, 0);
        chkbAutoReply->raise();

        editAutoReplyFrom = lineEdit("editAutoReplyFrom");
        editAutoReplySubject = lineEdit("editAutoReplySubject");
        memoAutoReply = new QPlainTextEdit;
        memoAutoReply->setObjectName(QStringLiteral("memoAutoReply"));
        memoAutoReply->setTabChangesFocus(true);
        auto *g = new QGridLayout(grpbAutoReply);
        g->setContentsMargins(8, chkbAutoReply->height() / 2 + 2, 8, 6);
        g->setVerticalSpacing(2);
        g->addWidget(caption(QStringLiteral("From (the address replies are sent from, e.g. sales@company.example)"),
                             editAutoReplyFrom),
                     0, 0);
        g->addWidget(editAutoReplyFrom, 1, 0);
        g->addWidget(caption(QStringLiteral("Subject (subject line of the e-mail)"), editAutoReplySubject), 2, 0);
        g->addWidget(editAutoReplySubject, 3, 0);
        g->addWidget(caption(QStringLiteral("Contents"), memoAutoReply), 4, 0);
        g->addWidget(memoAutoReply, 5, 0);
        g->setRowStretch(5, 1);
        l->addWidget(area, 1);

        chkbAutoReply->setChecked(initial.autoReply);
        editAutoReplyFrom->setText(codec.decode(initial.autoReplyFrom));
        editAutoReplySubject->setText(codec.decode(initial.autoReplySubject));
        memoAutoReply->setPlainText(codec.decode(initial.autoReplyBody));
        connect(chkbAutoReply, &QCheckBox::clicked, this, &TWizardForm::chkbAutoReplyClick);
        chkbAutoReplyClick();
        m_firstField.append(chkbAutoReply);
    }

    // 6: Groups
    tabsGroups = newPage("tabsGroups", QStringLiteral("Groups"), 6,
                         QStringLiteral("A default newsgroup has to be setup where the incoming mail is posted to. You "
                                        "can setup additional groups later on using the Quilmora Configuration Editor"));
    {
        auto *l = static_cast<QVBoxLayout *>(tabsGroups->layout());
        editGroupName = lineEdit("editGroupName");
        editGroupDesc = lineEdit("editGroupDesc");
        editGroupOBAddress = lineEdit("editGroupOBAddress");
        l->addWidget(caption(QStringLiteral("Name (e.g. sales.support)"), editGroupName));
        l->addWidget(editGroupName);
        l->addWidget(caption(QStringLiteral("Description"), editGroupDesc));
        l->addWidget(editGroupDesc);
        l->addWidget(caption(QStringLiteral("Outbound Address (e-mail replies are sent from)"), editGroupOBAddress));
        l->addWidget(editGroupOBAddress);
        l->addStretch();
        m_firstField.append(editGroupName);
    }

    // 7: Users
    tabsUsers = newPage("tabsUsers", QStringLiteral("Users"), 7,
                        QStringLiteral("Newsgroups can be retricted to certain users. This way, you can control which "
                                       "users have access to what groups within Quilmora. More than one user can be "
                                       "assigned to a group. You can add more users using the Quilmora Configuration "
                                       "Editor."));
    {
        auto *l = static_cast<QVBoxLayout *>(tabsUsers->layout());
        editUserDesc = lineEdit("editUserDesc");
        editUserName = lineEdit("editUserName");
        // Read-only like the editor's password fields: it holds the digest that Change
        // makes, never typed text, so the file always holds a digest or nothing.
        editUserPass = new MaskedBytesEdit;
        editUserPass->setObjectName(QStringLiteral("editUserPass"));
        butnChange = new QPushButton(QStringLiteral("Change"));
        butnChange->setObjectName(QStringLiteral("butnChange"));
        butnChange->setAutoDefault(false);
        l->addWidget(caption(QStringLiteral("Description (a description of the type of user, e.g. Corporate)"),
                             editUserDesc));
        l->addWidget(editUserDesc);
        l->addWidget(caption(QStringLiteral("Username"), editUserName));
        l->addWidget(editUserName);
        l->addWidget(caption(QStringLiteral("Password"), butnChange));
        auto *row = new QHBoxLayout;
        row->addWidget(editUserPass, 1);
        row->addWidget(butnChange);
        l->addLayout(row);
        l->addStretch();
        editUserPass->setBytes(initial.userPass);
        connect(butnChange, &QPushButton::clicked, this, &TWizardForm::butnChangeClick);
        m_firstField.append(editUserDesc);
    }

    // 8: Finished
    tabsFinish = newPage("tabsFinish", QStringLiteral("Finished!"), 0,
                         QStringLiteral("You have succesfully finished the setup for Quilmora. Currently there is only "
                                        "one group, user and incoming account assigned.\n\n"
                                        "Please use the Quilmora Configuration Editor for further setup."));
    {
        auto *l = static_cast<QVBoxLayout *>(tabsFinish->layout());
        Label28 = new QLabel(WizardWriter::homePageAddress());
        Label28->setObjectName(QStringLiteral("Label28"));
        QPalette p = Label28->palette();
        p.setColor(QPalette::WindowText, Qt::blue);
        Label28->setPalette(p);
        QFont f = Label28->font();
        f.setUnderline(true);
        Label28->setFont(f);
        Label28->setCursor(Qt::PointingHandCursor);
        Label28->setToolTip(WizardWriter::homePageAddress());
        Label28->installEventFilter(this);
        l->addSpacing(8);
        l->addWidget(Label28, 0, Qt::AlignLeft);
        l->addStretch();
        m_firstField.append(nullptr);
    }


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

QWidget *TWizardForm::newPage(const char *name, const QString &title, int step, const QString &explanation)
{
    auto *page = new QWidget;
    page->setObjectName(QString::fromLatin1(name));
    auto *l = new QVBoxLayout(page);
    l->setContentsMargins(PageMargin, 8, PageMargin, 8);
    l->setSpacing(3);

    // Large type throughout; a heading too long for one line wraps before its step
    // counter, which is kept whole by its non-breaking spaces.
    QString heading = title;
    if (step > 0)
        heading += QStringLiteral(" (Step\u00A0%1\u00A0of\u00A0%2)").arg(step).arg(PageCount);
    auto *head = new QLabel(heading);
    head->setObjectName(QString::fromLatin1(name) + QStringLiteral("Heading"));
    QFont headFont(QStringLiteral("Arial"));
    headFont.setPixelSize(24);
    head->setFont(headFont);
    head->setWordWrap(true);
    l->addWidget(head);

    auto *text = new QLabel(explanation);
    text->setObjectName(QString::fromLatin1(name) + QStringLiteral("Text"));
    QFont textFont(QStringLiteral("Arial"));
    textFont.setPixelSize(13);
    text->setFont(textFont);
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->addWidget(text);
    l->addSpacing(6);

    pctrlWizard->addTab(page, title);
    return page;
}

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

void TWizardForm::chkbAutoReplyClick()
{
    grpbAutoReply->setEnabled(chkbAutoReply->isChecked());
}

void TWizardForm::butnChangeClick()
{
    editUserPass->setBytes(AskNewPassword(*m_ctx.prompts, editUserPass->bytes(), true, m_ctx.codec));
}

void TWizardForm::Label28Click()
{
    m_ctx.shell->open(WizardWriter::homePageAddress());
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

bool TWizardForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == Label28 && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::LeftButton && Label28->rect().contains(mouse->position().toPoint())) {
            Label28Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
