// The wizard's eight pages: their captions and fields with the initial contents, and what
// the fields do on their own (the auto-reply switch, the password's Change, the home page
// link). The window around them, the navigation and the writing are in TWizardForm.cpp.
#include "wizard/TWizardForm.h"

#include "config/PasswordEntry.h"
#include "widgets/MaskedBytesEdit.h"
#include "platform/Shell.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

constexpr int PageMargin = 12;

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

// A caption and, below it, the field it names.
void addField(QVBoxLayout *layout, const QString &text, QWidget *field)
{
    layout->addWidget(caption(text, field));
    layout->addWidget(field);
}

} // namespace

void TWizardForm::buildPages()
{
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
        addField(l, QStringLiteral("Server Name (normally identifies your company, e.g. news.company.example)"),
                 editServerName);
        addField(l, QStringLiteral("Outgoing Mail Server (used to send replies to customers)"), editSMTPServer);
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
        addField(l, QStringLiteral("Prefix (add this prefix to subject line of outoging mail, e.g. \"QM-\")"),
                 editOBPrefix);
        addField(l, QStringLiteral("Marker (subject lines containing marker are outbound, e.g. \">>>\")"),
                 editOBMarker);
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
        addField(l, QStringLiteral("POP Server (e.g. pop.company.example)"), editPOPServer);
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
        addField(l, QStringLiteral("Name (e.g. sales.support)"), editGroupName);
        addField(l, QStringLiteral("Description"), editGroupDesc);
        addField(l, QStringLiteral("Outbound Address (e-mail replies are sent from)"), editGroupOBAddress);
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
        addField(l, QStringLiteral("Description (a description of the type of user, e.g. Corporate)"),
                 editUserDesc);
        addField(l, QStringLiteral("Username"), editUserName);
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
}

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
