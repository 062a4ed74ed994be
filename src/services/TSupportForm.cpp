#include "services/TSupportForm.h"

#include "config/AppIdentity.h"
#include "widgets/RadioGroup.h"
#include "widgets/TransferProgressDialog.h"
#include "platform/Prompts.h"
#include "services/Deployment.h"
#include "services/MailMessage.h"
#include "services/TKDSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QAbstractItemView>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

namespace {

constexpr int MemoLeft = 48;
constexpr int MemoWidth = 409;

QLabel *label(const QString &text, QWidget *parent, int x, int y, QWidget *buddy)
{
    auto *l = new QLabel(text, parent);
    l->setGeometry(x, y, MemoLeft - x, 21);
    l->setBuddy(buddy);
    return l;
}

} // namespace

TSupportForm::TSupportForm(Prompts &prompts, const SystemInfo &system, const QString &programFolder, QWidget *parent)
    : QDialog(parent)
    , m_prompts(prompts)
    , m_system(system)
    , m_programFolder(programFolder)
{
    setObjectName(QStringLiteral("SupportForm"));
    setWindowTitle(QStringLiteral("Technical Support"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                   | Qt::MSWindowsFixedSizeDialogHint);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(12);
    setFont(font);
    setFixedSize(479, 368);

    gboxContact = new QGroupBox(QStringLiteral(" Contact Information "), this);
    gboxContact->setObjectName(QStringLiteral("gboxContact"));
    gboxContact->setGeometry(8, 6, 313, 112);
    editName = new QLineEdit(gboxContact);
    editName->setObjectName(QStringLiteral("editName"));
    editName->setGeometry(72, 22, 229, 21);
    editEmail = new QLineEdit(gboxContact);
    editEmail->setObjectName(QStringLiteral("editEmail"));
    editEmail->setGeometry(72, 51, 229, 21);
    editTelephone = new QLineEdit(gboxContact);
    editTelephone->setObjectName(QStringLiteral("editTelephone"));
    editTelephone->setGeometry(72, 80, 229, 21);
    for (auto [text, edit] : {std::pair{"Name ", editName}, {"E-Mail ", editEmail}, {"Telephone", editTelephone}}) {
        auto *l = new QLabel(QString::fromLatin1(text), gboxContact);
        l->setGeometry(10, edit->y(), 62, 21);
        l->setBuddy(edit);
    }

    rgrpType = new RadioGroup(QStringLiteral(" Support Type "),
                              {QStringLiteral("Technical Question"), QStringLiteral("Bug report"), QStringLiteral("Other")},
                              this);
    rgrpType->setObjectName(QStringLiteral("rgrpType"));
    rgrpType->setGeometry(327, 6, 146, 112);
    rgrpType->grid()->setContentsMargins(6, 4, 2, 6); // "Technical Question" whole
    rgrpType->setItemIndex(0);

    gboxDescription = new QGroupBox(QStringLiteral(" Description "), this);
    gboxDescription->setObjectName(QStringLiteral("gboxDescription"));
    gboxDescription->setGeometry(8, 124, 463, 204);
    editTitle = new QLineEdit(gboxDescription);
    editTitle->setObjectName(QStringLiteral("editTitle"));
    editTitle->setGeometry(MemoLeft, 22, MemoWidth, 21);
    lablOccurence = new QLabel(QStringLiteral("Occurence"), gboxDescription);
    lablOccurence->setObjectName(QStringLiteral("lablOccurence"));
    cboxOccurence = new QComboBox(gboxDescription);
    cboxOccurence->setObjectName(QStringLiteral("cboxOccurence"));
    cboxOccurence->addItems({QStringLiteral("Once - Can Reproduce"), QStringLiteral("Once - Cannot Reproduce"),
                             QStringLiteral("Frequently - Can Reproduce"),
                             QStringLiteral("Frequently - Cannot Reproduce")});
    cboxOccurence->setCurrentIndex(-1);
    // The box shows its longest entry whole and ends with the details box; its label stands
    // just before it, and the title field (while both are shown) ends before the label.
    const int boxWidth = std::max(cboxOccurence->sizeHint().width(), MemoLeft + MemoWidth - 305);
    const int boxLeft = MemoLeft + MemoWidth - boxWidth;
    const int labelWidth = lablOccurence->sizeHint().width();
    cboxOccurence->setGeometry(boxLeft, 22, boxWidth, 21);
    lablOccurence->setGeometry(std::min(248, boxLeft - 4 - labelWidth), 22, labelWidth, 21);
    cboxOccurence->view()->setMinimumWidth(cboxOccurence->view()->sizeHintForColumn(0) + 8);
    lablOccurence->setBuddy(cboxOccurence);
    memoDetails = new QPlainTextEdit(gboxDescription);
    memoDetails->setObjectName(QStringLiteral("memoDetails"));
    memoDetails->setGeometry(MemoLeft, 52, MemoWidth, 142);
    memoDetails->setTabChangesFocus(true);
    label(QStringLiteral("Title "), gboxDescription, 8, 22, editTitle);
    label(QStringLiteral("Details"), gboxDescription, 8, 52, memoDetails);

    butnPreview = new QPushButton(QStringLiteral("&Preview"), this);
    butnPreview->setObjectName(QStringLiteral("butnPreview"));
    butnPreview->setGeometry(236, 336, 75, 25);
    butnSend = new QPushButton(QStringLiteral("Send"), this);
    butnSend->setObjectName(QStringLiteral("butnSend"));
    butnSend->setGeometry(316, 336, 75, 25);
    butnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    butnCancel->setObjectName(QStringLiteral("butnCancel"));
    butnCancel->setGeometry(396, 336, 75, 25);

    setTabOrder(editName, editEmail);
    setTabOrder(editEmail, editTelephone);
    // Every radio button in order, so Tab leaves the group for the title from whichever is chosen.
    setTabOrder(editTelephone, rgrpType->button(0));
    setTabOrder(rgrpType->button(0), rgrpType->button(1));
    setTabOrder(rgrpType->button(1), rgrpType->button(2));
    setTabOrder(rgrpType->button(2), editTitle);
    setTabOrder(editTitle, cboxOccurence);
    setTabOrder(cboxOccurence, memoDetails);
    setTabOrder(memoDetails, butnPreview);
    setTabOrder(butnPreview, butnSend);
    setTabOrder(butnSend, butnCancel);

    connect(rgrpType, &RadioGroup::clicked, this, &TSupportForm::rgrpTypeClick);
    connect(butnSend, &QPushButton::clicked, this, &TSupportForm::butnSendClick);
    connect(butnPreview, &QPushButton::clicked, this, &TSupportForm::butnPreviewClick);
    connect(butnCancel, &QPushButton::clicked, this, &QDialog::reject);
    rgrpTypeClick();

    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

void TSupportForm::rgrpTypeClick()
{
    const bool bug = rgrpType->itemIndex() == 1;
    lablOccurence->setVisible(bug);
    cboxOccurence->setVisible(bug);
    editTitle->resize(bug ? lablOccurence->x() - 60 : memoDetails->width(), editTitle->height());
}

void TSupportForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    rgrpTypeClick();
}

void TSupportForm::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        rgrpTypeClick();
    QDialog::changeEvent(event);
}

QStringList TSupportForm::userInfo() const
{
    QStringList lines{QStringLiteral("Name     : ") + editName->text(),
                      QStringLiteral("Email    : ") + editEmail->text(),
                      QStringLiteral("Telephone: ") + editTelephone->text(),
                      QStringLiteral("Type     : ") + rgrpType->button(rgrpType->itemIndex())->text(),
                      QStringLiteral("Title    : ") + editTitle->text(),
                      QStringLiteral("Occurence: ") + cboxOccurence->currentText(),
                      QStringLiteral("Details  : ")};
    // The lines of the details as the box holds them; an empty box adds none, and a final
    // line break does not start another line.
    QString details = memoDetails->toPlainText();
    if (!details.isEmpty()) {
        if (details.endsWith(QLatin1Char('\n')))
            details.chop(1);
        lines += details.split(QLatin1Char('\n'));
    }
    return lines;
}

void TSupportForm::fillRequest(TKDSupport &support) const
{
    support.UserInfo = userInfo();
    support.EmailFrom = editEmail->text();
    support.EmailRecipient = Deployment::supportMailbox();
    support.EmailSubject = QStringLiteral("Technical Support: ") + QString::fromLatin1(AppIdentity::ApplicationTitle);
    support.ApplicationVersion = versionText;
    support.ApplicationName = applicationText;
    support.SMTPHost = Deployment::supportHost();
    support.SMTPPort = Deployment::supportPort();
    support.timeoutMs = timeoutMs;
    support.overallLimitSeconds = overallLimitSeconds;
}

void TSupportForm::butnSendClick()
{
    if (!TKDSupport::isPlainAddress(editEmail->text())) {
        m_prompts.error(QStringLiteral("Please provide a valid e-mail address"));
        return;
    }
    TKDSupport support(m_system, m_programFolder);
    fillRequest(support);
    QString error;
    const bool sent = support.SendRequest(
        &error, TransferProgressDialog::backgroundRunner(this, QStringLiteral("Sending the support request")));
    if (sent)
        accept();
    else
        m_prompts.error(error);
}

void TSupportForm::butnPreviewClick()
{
    TKDSupport support(m_system, m_programFolder);
    fillRequest(support);
    QStringList text{QStringLiteral("From: ") + MailMessage::withoutLineBreaks(support.EmailFrom),
                     QStringLiteral("To: ") + support.EmailRecipient,
                     QStringLiteral("Subject: ") + support.EmailSubject, QString()};
    text += support.SystemReport();

    QDialog preview(this);
    preview.setObjectName(QStringLiteral("PreviewForm"));
    preview.setWindowTitle(QStringLiteral("Support Request Preview"));
    auto *layout = new QVBoxLayout(&preview);
    auto *note = new QLabel(QStringLiteral("This is the mail \"Send\" delivers to %1 at %2:")
                                .arg(support.EmailRecipient, support.SMTPHost),
                            &preview);
    note->setTextFormat(Qt::PlainText);
    note->setWordWrap(true);
    layout->addWidget(note);
    auto *memo = new QPlainTextEdit(&preview);
    memo->setObjectName(QStringLiteral("memoPreview"));
    memo->setReadOnly(true);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Liberation Mono"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPixelSize(12);
    memo->setFont(fixed);
    memo->setPlainText(text.join(QLatin1Char('\n')));
    layout->addWidget(memo);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, &preview);
    connect(buttons, &QDialogButtonBox::rejected, &preview, &QDialog::reject);
    layout->addWidget(buttons);
    preview.resize(640, 600);
    preview.exec();
}
