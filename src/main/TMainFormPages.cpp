// The main window's pages: every control with its name, caption and hint.
#include "main/ChecklistFilter.h"
#include "widgets/MaskedBytesEdit.h"
#include "main/NavIcons.h"
#include "main/NavTree.h"
#include "widgets/RadioGroup.h"
#include "main/SpinEdit.h"
#include "main/LogFindBar.h"
#include "main/TMainForm.h"
#include "main/TMainFormDetail.h"
#include "platform/LocalAddresses.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <limits>

using MainFormDetail::named;
using MainFormDetail::str;

namespace {

QSpinBox *spin(const char *name, int max)
{
    auto *s = named<SpinEdit>(name);
    s->setRange(0, max);
    s->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    s->setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    s->setMinimumWidth(80);
    s->setMaximumWidth(110);
    return s;
}

// A word-wrapped note in the window's colour, as the pages' explanations are shown.
QLabel *note(const QString &text)
{
    auto *l = new QLabel(text);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
}

QGridLayout *grid(QWidget *w)
{
    auto *g = new QGridLayout(w);
    g->setContentsMargins(8, 6, 8, 6);
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(4);
    return g;
}

QGroupBox *box(const QString &caption)
{
    return new QGroupBox(caption);
}

QListWidget *checkList(const char *name)
{
    auto *l = named<QListWidget>(name);
    l->setSelectionMode(QAbstractItemView::SingleSelection);
    l->setUniformItemSizes(true); // keeps thousands of entries cheap to lay out
    return l;
}

} // namespace

void TMainForm::setHint(QWidget *w, const QString &hint)
{
    w->setToolTip(hint);
    w->setStatusTip(hint);
}

QWidget *TMainForm::newPage(const char *name, const QString &title)
{
    auto *page = named<QWidget>(name);
    auto *v = new QVBoxLayout(page);
    v->setContentsMargins(8, 4, 8, 6);
    v->setSpacing(5);
    auto *heading = new QLabel(title, page);
    heading->setObjectName(QString::fromLatin1(name) + QStringLiteral("Title"));
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(24);
    f.setBold(true);
    heading->setFont(f);
    v->addWidget(heading);
    return page;
}

QWidget *TMainForm::buildOverviewPage(const char *name, const QString &title, const QString &text)
{
    QWidget *page = newPage(name, title);
    auto *v = static_cast<QVBoxLayout *>(page->layout());
    QLabel *body = note(text);
    body->setObjectName(QString::fromLatin1(name) + QStringLiteral("Text"));
    v->addWidget(body);
    v->addStretch(1);
    return page;
}

QWidget *TMainForm::buildGeneralPage()
{
    QWidget *page = newPage("tabsGeneral", str("General Settings"));
    auto *v = static_cast<QVBoxLayout *>(page->layout());

    QGroupBox *server = box(str(" Server Settings"));
    QGridLayout *g = grid(server);
    editName = named<QLineEdit>("editName");
    setHint(editName, str("Server name"));
    cmbBindIP = named<QComboBox>("cmbBindIP");
    cmbBindIP->setEditable(true);
    cmbBindIP->setInsertPolicy(QComboBox::NoInsert);
    // The text is free: typing the start of a listed address must not complete it to
    // that address.
    cmbBindIP->setCompleter(nullptr);
    sedtPort = spin("sedtPort", ServerSettings::PortMax);
    setHint(sedtPort, str("Port on which the server will respond"));
    g->addWidget(new QLabel(str("Name")), 0, 0);
    g->addWidget(editName, 0, 1, 1, 3);
    g->addWidget(new QLabel(str("Bound IP")), 1, 0);
    g->addWidget(cmbBindIP, 1, 1);
    g->addWidget(new QLabel(str("Port ")), 1, 2, Qt::AlignRight);
    g->addWidget(sedtPort, 1, 3);
    g->setColumnStretch(1, 1);
    v->addWidget(server);

    QGroupBox *options = box(str(" Options "));
    g = grid(options);
    editSMTPServer = named<QLineEdit>("editSMTPServer");
    setHint(editSMTPServer, str("Server for outgoing mail (SMTP)"));
    editOutBoundPrefix = named<QLineEdit>("editOutBoundPrefix");
    setHint(editOutBoundPrefix, str("Outbound prefix for messages"));
    editOutBoundMarker = named<QLineEdit>("editOutBoundMarker");
    setHint(editOutBoundMarker, str("Outbound marker for messages"));
    editAdminEmail = named<QLineEdit>("editAdminEmail");
    chkbAdminEmailActive = named<QCheckBox>("chkbAdminEmailActive", str("Active"));
    editAdminUser = named<QLineEdit>("editAdminUser");
    editAdminPass = named<MaskedBytesEdit>("editAdminPass");
    butnChangeAdminPass = named<QPushButton>("butnChangeAdminPass", str("Change"));
    g->addWidget(new QLabel(str("Outgoing Mail Server")), 0, 0);
    g->addWidget(editSMTPServer, 0, 1, 1, 2);
    g->addWidget(new QLabel(str("Outbound Prefix")), 1, 0);
    g->addWidget(editOutBoundPrefix, 1, 1, 1, 2);
    g->addWidget(new QLabel(str("Outbound Marker")), 2, 0);
    g->addWidget(editOutBoundMarker, 2, 1, 1, 2);
    g->addWidget(new QLabel(str("Administrator E-Mail")), 3, 0);
    g->addWidget(editAdminEmail, 3, 1);
    g->addWidget(chkbAdminEmailActive, 3, 2);
    g->addWidget(new QLabel(str("Administrator Username ")), 4, 0);
    g->addWidget(editAdminUser, 4, 1, 1, 2);
    g->addWidget(new QLabel(str("Administrator Password")), 5, 0);
    g->addWidget(editAdminPass, 5, 1);
    g->addWidget(butnChangeAdminPass, 5, 2);
    g->setColumnStretch(1, 1);
    v->addWidget(options);
    v->addStretch(1);
    return page;
}

QWidget *TMainForm::buildAdvancedPage()
{
    QWidget *page = newPage("tabsAdvanced", str("Advanced Settings"));
    auto *v = static_cast<QVBoxLayout *>(page->layout());

    QGroupBox *smtp = box(str(" Outgoing E-Mail (SMTP) Settings "));
    QGridLayout *g = grid(smtp);
    sedtSMTPPort = spin("sedtSMTPPort", ServerSettings::PortMax);
    editSMTPUserID = named<QLineEdit>("editSMTPUserID");
    editSMTPUserPass = named<MaskedBytesEdit>("editSMTPUserPass");
    butnChangeSMTPPass = named<QPushButton>("butnChangeSMTPPass", str("Change"));
    g->addWidget(new QLabel(str("SMTP Port ")), 0, 0);
    g->addWidget(sedtSMTPPort, 0, 1);
    g->addWidget(new QLabel(str("Username ")), 1, 0);
    g->addWidget(editSMTPUserID, 1, 1, 1, 2);
    g->addWidget(new QLabel(str("Password")), 2, 0);
    g->addWidget(editSMTPUserPass, 2, 1, 1, 1);
    g->addWidget(butnChangeSMTPPass, 2, 2);
    g->addWidget(note(str("Certain SMTP servers require additional settings. This could be either the port on "
                          "which it runs (default 25) or whether authentication is required. If your SMTP "
                          "server does not require any of these, do not change the values.")),
                 3, 0, 1, 3);
    g->setColumnStretch(1, 1);
    v->addWidget(smtp);

    QGroupBox *remote = box(str(" Remote Configuration "));
    g = grid(remote);
    sedtConfigPort = spin("sedtConfigPort", ServerSettings::PortMax);
    g->addWidget(new QLabel(str("Port")), 0, 0);
    g->addWidget(sedtConfigPort, 0, 1);
    g->addWidget(note(str("You can change the port that the Quilmora Server listens on for remote configuration. "
                          "To adjust the port, enter the value in the edit box.")),
                 1, 0, 1, 3);
    g->setColumnStretch(2, 1);
    v->addWidget(remote);
    v->addStretch(1);
    // The two boxes with their notes fill the page: with the filter line above the tree and
    // the status bar below, the boxes' margins are a little narrower than elsewhere, so the
    // last line of the SMTP note shows whole.
    for (QGroupBox *b : {smtp, remote})
        b->layout()->setContentsMargins(8, 3, 8, 3);
    v->setSpacing(3);
    return page;
}

QWidget *TMainForm::buildIncomingItemPage()
{
    QWidget *page = newPage("tabsIncomingItem", str("Incoming Account Settings"));
    auto *v = static_cast<QVBoxLayout *>(page->layout());
    pctrlIncoming = named<QTabWidget>("pctrlIncoming");
    v->addWidget(pctrlIncoming, 1);

    auto *general = named<QWidget>("tabsIncomingGeneral");
    QGridLayout *g = grid(general);
    g->setVerticalSpacing(2);
    g->setContentsMargins(6, 4, 6, 4);
    editPopHost = named<QLineEdit>("editPopHost");
    sedtPopPort = spin("sedtPopPort", ServerSettings::PortMax);
    // An emptied account port leaves the account's port as it was, and leaving the box
    // shows that port again (the other boxes read an empty text as their lowest value).
    sedtPopPort->setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    editPopUser = named<QLineEdit>("editPopUser");
    editPopPass = named<MaskedBytesEdit>("editPopPass");
    butnChangeIncomingPass = named<QPushButton>("butnChangeIncomingPass", str("Change"));
    chkbPopAutoReply = named<QCheckBox>("chkbPopAutoReply", str("AutoReply"));
    editPopAutoReplyFrom = named<QLineEdit>("editPopAutoReplyFrom");
    editPopAutoReplySubject = named<QLineEdit>("editPopAutoReplySubject");
    editAutoReplyFromIgnore = named<QLineEdit>("editAutoReplyFromIgnore");
    editSafetyBox = named<QLineEdit>("editSafetyBox");
    memoPopAutoReplyBody = named<QPlainTextEdit>("memoPopAutoReplyBody");
    memoPopAutoReplyBody->setTabChangesFocus(true);
    chkbOBID = named<QCheckBox>("chkbOBID", str("Assign Outbound ID"));

    g->addWidget(new QLabel(str("Mail Server")), 0, 0);
    g->addWidget(editPopHost, 0, 1, 1, 4);
    g->addWidget(new QLabel(str("Port")), 1, 0);
    g->addWidget(sedtPopPort, 1, 1);
    g->addWidget(new QLabel(str("User ID")), 1, 2, Qt::AlignRight);
    g->addWidget(editPopUser, 1, 3, 1, 2);
    g->addWidget(new QLabel(str("Password")), 2, 0);
    g->addWidget(editPopPass, 2, 1, 1, 2);
    g->addWidget(butnChangeIncomingPass, 2, 3);
    auto *checks = new QHBoxLayout;
    checks->addWidget(chkbPopAutoReply);
    checks->addSpacing(24);
    checks->addWidget(chkbOBID);
    checks->addStretch(1);
    g->addLayout(checks, 3, 0, 1, 5);
    g->addWidget(new QLabel(str("Auto Reply From")), 4, 0);
    g->addWidget(editPopAutoReplyFrom, 4, 1, 1, 4);
    g->addWidget(new QLabel(str("Auto Reply Subject")), 5, 0);
    g->addWidget(editPopAutoReplySubject, 5, 1, 1, 4);
    g->addWidget(new QLabel(str("Auto Reply From Ignore")), 6, 0);
    g->addWidget(editAutoReplyFromIgnore, 6, 1, 1, 4);
    g->addWidget(new QLabel(str("Copy incoming to account")), 7, 0);
    g->addWidget(editSafetyBox, 7, 1, 1, 4);
    g->addWidget(new QLabel(str("Auto Reply Body")), 8, 0, Qt::AlignTop);
    g->addWidget(memoPopAutoReplyBody, 8, 1, 1, 4);
    g->setRowStretch(8, 1);
    g->setColumnStretch(3, 1);
    pctrlIncoming->addTab(general, str("General"));
    // Tab order follows the captions' order, whatever the grid's places.
    QWidget::setTabOrder(butnChangeIncomingPass, chkbPopAutoReply);
    QWidget::setTabOrder(chkbPopAutoReply, editPopAutoReplyFrom);
    QWidget::setTabOrder(memoPopAutoReplyBody, chkbOBID);

    auto *groups = named<QWidget>("tabsIncomingGroups");
    g = grid(groups);
    g->addWidget(note(str("The incoming mail is routed to different groups based on the keywords file. Click on "
                          "the groups that can qualify for the routing. You can set a default group by "
                          "selecting it first and the clicking on the button below.")),
                 0, 0, 1, 2);
    chlstGroups = checkList("chlstGroups");
    filterGroups = new ChecklistFilter(chlstGroups, str("Groups"));
    g->addWidget(filterGroups, 1, 0, 1, 2);
    g->addWidget(chlstGroups, 2, 0, 1, 2);
    cboxPopDefault = named<QComboBox>("cboxPopDefault");
    cboxPopDefault->setEditable(false);
    g->addWidget(new QLabel(str("Default")), 3, 0);
    g->addWidget(cboxPopDefault, 3, 1);
    g->setColumnStretch(1, 1);
    g->setRowStretch(2, 1);
    pctrlIncoming->addTab(groups, str("Groups"));
    return page;
}

QWidget *TMainForm::buildUserItemPage()
{
    QWidget *page = newPage("tabsUserItem", str("User Settings"));
    auto *v = static_cast<QVBoxLayout *>(page->layout());
    QGroupBox *data = box(str(" Data "));
    QGridLayout *g = grid(data);
    editUserDesc = named<QLineEdit>("editUserDesc");
    editUserName = named<QLineEdit>("editUserName");
    editUserPass = named<MaskedBytesEdit>("editUserPass");
    butnChangeUserPass = named<QPushButton>("butnChangeUserPass", str("Change"));
    g->addWidget(new QLabel(str("Description")), 0, 0);
    g->addWidget(editUserDesc, 0, 1, 1, 2);
    g->addWidget(new QLabel(str("Name")), 1, 0);
    g->addWidget(editUserName, 1, 1, 1, 2);
    g->addWidget(new QLabel(str("Password")), 2, 0);
    g->addWidget(editUserPass, 2, 1);
    g->addWidget(butnChangeUserPass, 2, 2);
    g->setColumnStretch(1, 1);
    v->addWidget(data);
    v->addStretch(1);
    return page;
}

QWidget *TMainForm::buildGroupItemPage()
{
    QWidget *page = newPage("tabsGroupItem", str("Group Settings"));
    auto *v = static_cast<QVBoxLayout *>(page->layout());
    pctrlGroup = named<QTabWidget>("pctrlGroup");
    v->addWidget(pctrlGroup, 1);

    auto *general = named<QWidget>("tabsGroupGeneral");
    QGridLayout *g = grid(general);
    editGroupName = named<QLineEdit>("editGroupName");
    chkbGroupRO = named<QCheckBox>("chkbGroupRO", str("Read-Only"));
    editGroupDesc = named<QLineEdit>("editGroupDesc");
    editGroupOutboundAddr = named<QLineEdit>("editGroupOutboundAddr");
    memoGroupKeys = named<QPlainTextEdit>("memoGroupKeys");
    memoGroupKeys->setTabChangesFocus(true);
    g->addWidget(new QLabel(str("Name")), 0, 0);
    g->addWidget(editGroupName, 0, 1);
    g->addWidget(chkbGroupRO, 0, 2);
    g->addWidget(new QLabel(str("Description")), 1, 0);
    g->addWidget(editGroupDesc, 1, 1, 1, 2);
    g->addWidget(new QLabel(str("Outbound Address")), 2, 0);
    g->addWidget(editGroupOutboundAddr, 2, 1, 1, 2);
    g->addWidget(new QLabel(str("Keys")), 3, 0, Qt::AlignTop);
    g->addWidget(memoGroupKeys, 3, 1, 1, 2);
    g->setRowStretch(3, 1);
    g->setColumnStretch(1, 1);
    pctrlGroup->addTab(general, str("General"));

    auto *users = named<QWidget>("tabsGroupUsers");
    g = grid(users);
    g->addWidget(note(str("Each group is restricted to specific users. Below is a list of available users. Check "
                          "those that will have access to this group")),
                 0, 0);
    chlstUsers = checkList("chlstUsers");
    filterUsers = new ChecklistFilter(chlstUsers, str("Users"));
    g->addWidget(filterUsers, 1, 0);
    g->addWidget(chlstUsers, 2, 0);
    g->setRowStretch(2, 1);
    pctrlGroup->addTab(users, str("Users"));
    return page;
}

QWidget *TMainForm::buildLogSettingsPage()
{
    QWidget *page = newPage("tabsLogSettings", str("Log Settings"));
    auto *v = static_cast<QVBoxLayout *>(page->layout());
    rgrpLogSettings = new RadioGroup(str(" Settings "), {str("Deactivate"), str("Activate")});
    rgrpLogSettings->setObjectName(QStringLiteral("rgrpLogSettings"));
    v->addWidget(rgrpLogSettings);
    rgrpLogFile = new RadioGroup(str(" Log File "), {str("Never overwrite"), str("Overwrite when file reaches ")});
    rgrpLogFile->setObjectName(QStringLiteral("rgrpLogFile"));
    sedtLogSize = spin("sedtLogSize", ServerSettings::LogSizeMax);
    sedtLogSize->setEnabled(false);
    sedtLogSize->setMinimumWidth(90);
    auto *row = new QHBoxLayout;
    row->setSpacing(4);
    row->addWidget(sedtLogSize);
    row->addWidget(new QLabel(str("KB")));
    row->addStretch(1);
    rgrpLogFile->grid()->addLayout(row, 1, 1);
    v->addWidget(rgrpLogFile);
    v->addStretch(1);
    // Both groups re-apply the log file choice to the size box.
    m_designHandlers.insert(rgrpLogSettings, [this](QObject *s) { rgrpLogFileClick(s); });
    m_designHandlers.insert(rgrpLogFile, [this](QObject *s) { rgrpLogFileClick(s); });
    return page;
}

QWidget *TMainForm::buildLogViewPage()
{
    QWidget *page = newPage("tabsLogView", str("Log View"));
    auto *v = static_cast<QVBoxLayout *>(page->layout());
    ToolBar2 = named<QToolBar>("ToolBar2");
    ToolBar2->setIconSize(QSize(20, 20));
    ToolBar2->setToolButtonStyle(Qt::ToolButtonIconOnly);
    actnRefreshLog->setIcon(NavIcons::refreshIcon());
    actnClearLog->setIcon(NavIcons::clearIcon());
    ToolBar2->addAction(actnRefreshLog);
    ToolBar2->addAction(actnClearLog);
    v->addWidget(ToolBar2);
    memoLog = named<QPlainTextEdit>("memoLog");
    findLog = new LogFindBar(memoLog);
    findLog->setObjectName(QStringLiteral("findLog"));
    v->addWidget(findLog);
    memoLog->setReadOnly(true); // its wrapping and scroll bars: connectLogView()
    v->addWidget(memoLog, 1);
    return page;
}

void TMainForm::fillBindAddresses()
{
    const QStringList addresses = m_ctx.localAddresses ? m_ctx.localAddresses() : LocalAddresses::ipv4();
    const QString text = cmbBindIP->currentText();
    cmbBindIP->clear();
    cmbBindIP->addItems(addresses);
    cmbBindIP->setCurrentIndex(-1);
    cmbBindIP->setEditText(text);
}
