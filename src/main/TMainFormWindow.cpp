// The main window's frame: its menus and tool bar, the splitter with the tree and the pages,
// the status bar, and the tree's nodes; every action with its name, caption, shortcut and hint.
#include "main/ChecklistFilter.h"
#include "main/LogFindBar.h"
#include "main/NavIcons.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"
#include "main/TMainFormDetail.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

using MainFormDetail::named;
using MainFormDetail::str;

void TMainForm::buildMenus()
{
    auto action = [this](const char *name, const QString &caption, const QString &hint) {
        auto *a = new QAction(caption, this);
        a->setObjectName(QString::fromLatin1(name));
        if (!hint.isEmpty()) {
            a->setStatusTip(hint);
            a->setToolTip(hint);
        }
        return a;
    };
    actnSave = action("actnSave", str("Save"), str("Save all changes"));
    actnExit = action("actnExit", str("&Exit"), str("Exit"));
    actnSave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    actnExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    actnCheck = action("actnCheck", str("Check Configuration..."), str("Look for inconsistencies in the configuration"));
    connect(actnCheck, &QAction::triggered, this, [this]() { actnCheckExecute(); });
    actnDocumentation = action("actnDocumentation", str("Documenation"), str("Quilmora Documentation"));
    actnSupport = action("actnSupport", str("Support"), str("Technical Support"));
    actnHomePage = action("actnHomePage", str("Quilmora Home Page"), str("Go to the Quilmora Home Page"));
    actnTipDay = action("actnTipDay", str("Tip of the Day"), str("Display the tip of the day"));
    actnCheckVersion = action("actnCheckVersion", str("Check For New Version"),
                              str("Check for new version of the software"));
    actnAbout = action("actnAbout", str("About"), {});
    actnAdd = action("actnAdd", str("&Add"), str("Add a new entry"));
    actnDelete = action("actnDelete", str("&Delete"), str("Delete current entry"));
    actnReset = action("actnReset", str("&Reset"), str("Reset the group (delete all postings)"));
    actnDelMsg = action("actnDelMsg", str("Delete Messages"), {});
    actnRefreshLog = action("actnRefreshLog", str("Refresh"), str("Refresh log"));
    actnClearLog = action("actnClearLog", str("Clear"), str("Clear log"));

    QMenu *file = menuBar()->addMenu(str("&File"));
    file->setObjectName(QStringLiteral("menuFile"));
    file->addAction(actnSave);
    file->addAction(actnCheck);
    buildReviewActions(file);
    buildHistoryAction(file);
    file->addSeparator();
    file->addAction(actnExit);
    buildEditMenu();
    QMenu *help = menuBar()->addMenu(str("&Help"));
    help->setObjectName(QStringLiteral("menuHelp"));
    help->addAction(actnDocumentation);
    help->addAction(actnSupport);
    help->addAction(actnHomePage);
    help->addAction(actnTipDay);
    help->addSeparator();
    help->addAction(actnCheckVersion);
    help->addSeparator();
    help->addAction(actnAbout);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    // A menu entry of its own for each action: it takes the action's caption, hint,
    // visibility and enabled state, and triggering it runs the action.
    auto entry = [this](const char *name, QAction *action) {
        auto *e = new QAction(PopupMenu1);
        e->setObjectName(QString::fromLatin1(name));
        auto follow = [e, action]() {
            e->setText(action->text());
            e->setStatusTip(action->statusTip());
            e->setToolTip(action->toolTip());
            e->setVisible(action->isVisible());
            e->setEnabled(action->isEnabled());
        };
        follow();
        connect(action, &QAction::changed, e, follow);
        connect(e, &QAction::triggered, action, [action]() { action->trigger(); });
        PopupMenu1->addAction(e);
        return e;
    };
    menuAdd = entry("menuAdd", actnAdd);
    menuDelete = entry("menuDelete", actnDelete);
    menuReset = entry("menuReset", actnReset);
    menuDelMsg = entry("menuDelMsg", actnDelMsg);

    connect(actnSave, &QAction::triggered, this, [this]() { actnSaveExecute(); });
    connect(actnExit, &QAction::triggered, this, [this]() { actnExitExecute(); });
}

QFont TMainForm::programFont()
{
    QFont windowFont(QStringLiteral("Arial"));
    windowFont.setPixelSize(12);
    return windowFont;
}

void TMainForm::useProgramFont()
{
    // Dialogs and message boxes are windows of their own and take the application's font,
    // not their owner's: the program's windows all wear the main window's.
    QApplication::setFont(programFont());
}

void TMainForm::buildWindow()
{
    setFont(programFont());
    useProgramFont();

    buildMenus();

    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("panelMain"));
    auto *h = new QHBoxLayout(central);
    h->setContentsMargins(0, 0, 0, 0);
    h->setSpacing(0);

    tvNav = new NavTree(central);
    tvNav->setObjectName(QStringLiteral("tvNav"));
    tvNav->setFixedWidth(NavWidth);
    tvNav->setHeaderHidden(true);
    tvNav->setColumnCount(1);
    tvNav->setRootIsDecorated(false);
    tvNav->setItemsExpandable(false);
    tvNav->setExpandsOnDoubleClick(false);
    tvNav->setIndentation(35);
    tvNav->setUniformRowHeights(true); // thousands of item nodes stay cheap to lay out
    tvNav->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tvNav->setSelectionMode(QAbstractItemView::SingleSelection);
    tvNav->setIconSize(QSize(20, 20));
    tvNav->setContextMenuPolicy(Qt::CustomContextMenu);
    setHint(tvNav, str("Right click to Add or Delete items"));
    QFont treeFont(QStringLiteral("Arial"));
    treeFont.setPixelSize(13);
    treeFont.setBold(true);
    tvNav->setFont(treeFont);
    QPalette tp = tvNav->palette();
    tp.setColor(QPalette::Base, tp.color(QPalette::ToolTipBase));
    tp.setColor(QPalette::Text, tp.color(QPalette::ToolTipText));
    tvNav->setPalette(tp);
    // The filter line stands above the tree, in the tree's column.
    auto *navColumn = new QVBoxLayout;
    navColumn->setContentsMargins(0, 0, 0, 0);
    navColumn->setSpacing(2);
    editTreeFilter = named<QLineEdit>("editTreeFilter");
    editTreeFilter->setFixedWidth(NavWidth);
    navColumn->addWidget(editTreeFilter);
    navColumn->addWidget(tvNav, 1);
    h->addLayout(navColumn);

    pctrlMain = new QTabWidget(central);
    pctrlMain->setObjectName(QStringLiteral("pctrlMain"));
    pctrlMain->tabBar()->hide();
    pctrlMain->setDocumentMode(true);
    h->addWidget(pctrlMain, 1);

    tabsGeneral = buildGeneralPage();
    tabsAdvanced = buildAdvancedPage();
    tabsIncomingItem = buildIncomingItemPage();
    tabsUserItem = buildUserItemPage();
    tabsGroupItem = buildGroupItemPage();
    tabsLogSettings = buildLogSettingsPage();
    tabsLogView = buildLogViewPage();
    tabsIncoming = buildOverviewPage(
        "tabsIncoming", str("Incoming Accounts"),
        str("Incoming accounts are email accounts that are polled by Quilmora at regular intervals to put into one "
            "or more groups.  If more than one group is chosen, keyword files are used to figure out the most "
            "likely group for the message.  Right-click in the tree navigator to the left to add or delete "
            "incoming accounts."));
    tabsUsers = buildOverviewPage(
        "tabsUsers", str("Users"),
        str("Users are login accounts that are used to allow the Quilmora administrator to control which users "
            "have access to which groups.  Right-click in the tree navigator to the left to add or delete user "
            "configurations."));
    tabsGroups = buildOverviewPage(
        "tabsGroups", str("Groups"),
        str("Groups are locations where messages of a common subject are kept.  A group can be used to receive "
            "and reply to customer email or for internal discussion on topics such as sales, marketing or "
            "development.  Right-click in the tree navigator to the left to add or delete group configurations."));
    tabsLog = buildOverviewPage(
        "tabsLog", str("Log"),
        str("The log is where Quilmora places several notifications and error messages while it is in "
            "operation.  The Quilmora admin should review the log periodically to ensure proper operation of the "
            "Quilmora server."));
    const QList<QWidget *> pages = {tabsGeneral, tabsAdvanced, tabsIncomingItem, tabsUserItem,
                                    tabsGroupItem, tabsLogSettings, tabsLogView, tabsIncoming,
                                    tabsUsers, tabsGroups, tabsLog};
    for (QWidget *p : pages)
        pctrlMain->addTab(p, p->findChild<QLabel *>(p->objectName() + QStringLiteral("Title"))->text());
    setCentralWidget(central);
    // One-line controls as tall as the window's font needs, so the item pages fit.
    for (QWidget *w : central->findChildren<QWidget *>()) {
        // A line edit cuts its text at 32767 characters by default: a longer value would
        // be cut on showing and the cut text stored by the next edit of its page.
        if (auto *e = qobject_cast<QLineEdit *>(w)) {
            e->setMaxLength(std::numeric_limits<int>::max());
            // One-line values are stored as text, where a NUL cannot stand: one typed or
            // pasted is taken out at once, with a note, so no page holds what the file refuses.
            connect(e, &QLineEdit::textEdited, this, [this, e](const QString &text) {
                if (!text.contains(QChar(0)))
                    return;
                const int cursor = e->cursorPosition() - int(text.left(e->cursorPosition()).count(QChar(0)));
                QString clean = text;
                clean.remove(QChar(0));
                e->setText(clean);
                e->setCursorPosition(cursor);
                if (StatusBar1)
                    StatusBar1->showMessage(tr("A NUL character cannot stand in this field: it was left out."), 5000);
            });
        }
        if (qobject_cast<QLineEdit *>(w) || qobject_cast<QAbstractSpinBox *>(w) || qobject_cast<QComboBox *>(w)
            || qobject_cast<QPushButton *>(w))
            if (!qobject_cast<QAbstractSpinBox *>(w->parentWidget()) && !qobject_cast<QComboBox *>(w->parentWidget()))
                w->setFixedHeight(22);
    }

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    setStatusBar(StatusBar1);

    // The check lists take their entries' checks into the item after the change tracking.
    m_designHandlers.insert(chlstGroups, [this](QObject *s) { chlstGroupsClick(s); });
    m_designHandlers.insert(chlstUsers, [this](QObject *s) { chlstUsersClick(s); });
}

void TMainForm::buildTree()
{
    nodeGeneral = AddPageNode(nullptr, str("General"), 2, tabsGeneral);
    nodeAdvanced = AddPageNode(nullptr, str("Advanced"), 6, tabsAdvanced);
    nodeLog = AddPageNode(nullptr, str("Log"), 5, tabsLog);
    nodeLogSettings = AddPageNode(nodeLog, str("Settings"), 10, tabsLogSettings);
    nodeIncoming = AddPageNode(nullptr, str("Incoming Accounts"), 0, tabsIncoming);
    nodeUsers = AddPageNode(nullptr, str("Users"), 8, tabsUsers);
    nodeGroups = AddPageNode(nullptr, str("Groups"), 4, tabsGroups);
}
