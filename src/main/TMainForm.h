#pragma once

#include "config/SafeFile.h"
#include "config/ServerSettings.h"
#include "config/TextCodec.h"
#include "main/ConfigPreload.h"
#include "main/MembershipChoices.h"
#include "main/RunMode.h"

#include <QByteArrayList>
#include <QHash>
#include <QIcon>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <functional>
#include <memory>

class BusyCursor;
class EditHistory;
class CheckResultsDialog;
class ConnectionTestDialog;
namespace ConnectionTest {
struct Target;
struct Options;
}
class ChecklistFilter;
class FindingsMarker;
class TreeFilter;
class QToolButton;
class Clock;
class ConfigDocument;
namespace ItemKeys {
enum class Kind;
}
class LogFindBar;
class LogViewFill;
struct LogViewText;
template <typename T>
class QFutureWatcher;
struct CheckFinding;
class MaskedBytesEdit;
class NavNode;
class NavTree;
class Prompts;
class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QToolBar;
class QTreeWidgetItem;
class QUndoStack;
class RadioGroup;
class Registry;
class Shell;
class SystemInfo;
class TGroup;
class TKDTipDay;
class TKDVersion;
class TTipForm;
class TPop;
class TUser;

// What the main window is built from: its platform layers and the run's settings.
struct MainFormContext
{
    Prompts *prompts = nullptr; // required; every message box goes through it
    QString programFolder;      // the server's folder, where quilmora.ini lives
    TextCodec codec;            // the configuration's character set
    // Chooses local or remote mode at start-up; none means local without asking.
    RunModeChooser *runModeChooser = nullptr;
    // The machine's own IPv4 addresses for the bind address list; none means the real ones.
    std::function<QStringList()> localAddresses;
    // The local date, for the message archive's "today"; none means the system clock.
    Clock *clock = nullptr;
    // The hourglass of long commands (the log's Refresh); none means the application's.
    BusyCursor *busyCursor = nullptr;
    // The editor's own settings (tips, version check); none means the user's registry folder.
    Registry *registry = nullptr;
    // Opens web addresses and documents; none means the desktop's.
    Shell *shell = nullptr;
    // The machine's details for the support request; none means this machine's.
    const SystemInfo *systemInfo = nullptr;
    // The local configuration read ahead while start-up waited; none means read it at the load.
    ConfigPreload *preload = nullptr;
    // The tree's images by image index when already made (for the read ahead); none means
    // the window makes them.
    QList<QIcon> navIcons;
};

// The editor's main window: the navigation tree on the left, the page of the selected
// node on the right. It owns the items (through their tree nodes) and the editing state:
// every edit on a page is stored into its item at once, and a save writes the whole
// configuration afresh.
class TMainForm : public QMainWindow
{
    Q_OBJECT

public:
    // Client area of the window (the menu bar comes on top of it).
    static constexpr int ClientWidth = 636;
    static constexpr int ClientHeight = 339;
    static constexpr int NavWidth = 231;

    enum class StartResult { Run, Ended, Failed };

    explicit TMainForm(const MainFormContext &context, QWidget *parent = nullptr);
    ~TMainForm() override;

    // The font every window of the program wears, the main window's: set for the whole
    // application, so that a window shown before the main window exists wears it too.
    static QFont programFont();
    static void useProgramFont();

    // Everything after the window's creation: the wizard when asked for, else the choice
    // of mode and the load. Run means the window is to be shown; otherwise the program ends
    // (Failed after an error has been shown).
    StartResult start(bool wizard);

    // The mode of this run; the default chooser answers Local without asking.
    RunModeChoice chooseRunMode();

    bool isRemoteMode() const { return RemoteMode; }
    bool isOldFormat() const { return OldFormat; }
    bool isChanged() const { return m_changed; }
    QString configFilePath() const;

    // Navigation tree (the fixed nodes are built at creation).
    NavNode *AddPageNode(NavNode *parent, const QString &caption, int imageIndex, QWidget *page);
    NavNode *AddItemNode(const QString &caption, std::unique_ptr<TPop> item, bool select, NavNode *parent);
    NavNode *AddItemNode(const QString &caption, std::unique_ptr<TUser> item, bool select, NavNode *parent);
    NavNode *AddItemNode(const QString &caption, std::unique_ptr<TGroup> item, bool select, NavNode *parent);
    void tvNavChange(QTreeWidgetItem *node);

    // Load.
    bool LoadConfiguration();
    void LoadServerSettings(const ServerSettings &settings);
    void LoadItems(const QByteArray &kindWord, NavNode *root);
    // Reads a configuration file as the start does (a failure is shown).
    bool readDocument(const QString &path, ConfigDocument *doc);
    // Puts a loaded configuration in the window in place of what it showed.
    void showDocument(ConfigDocument &doc);
    void ShowPop(TPop *item);
    void ShowGroup(TGroup *item);
    void ShowUser(TUser *item);

    // Save.
    bool actnSaveExecute();
    void StorePop(TPop *item);
    void StoreGroup(TGroup *item);
    void StoreUser(TUser *item);
    ServerSettings serverSettingsFromPages() const;

    // Change tracking and membership lists.
    void HookPageControls(QWidget *container);
    bool HookEvent(QWidget *control, bool changeEvent);
    void DataChange(QObject *sender);
    void ShowGroupChoices();
    void ShowUserChoices();
    void chlstGroupsClick(QObject *sender);
    void chlstUsersClick(QObject *sender);
    bool FormCloseQuery();
    void actnExitExecute();

    // File, Check Configuration... (TMainFormCheck.cpp).
    void actnCheckExecute();
    // Review Changes, Revert to Saved and Restore Backup (TMainFormReview.cpp).
    void actnReviewExecute();
    bool actnRevertExecute();
    bool actnRestoreBackupExecute();
    // File, History... (TMainFormHistory.cpp).
    bool actnHistoryExecute();
    // Where the save keeps the backup: beside the file it replaces (a link's target).
    QString backupFilePath() const;
    void selectFinding(const CheckFinding &finding);
    // The undo history of the edits since the load (TMainFormUndo.cpp); its clean state is
    // the saved configuration.
    QUndoStack *undoStack() const { return m_undoStack; }
    QList<CheckFinding> checkConfiguration() const;

    // The tree's filter line and the findings on the tree (TMainFormFilter.cpp).
    TreeFilter *treeFilter() const { return m_treeFilter; }
    FindingsMarker *findingsMarker() const { return m_findingsMarker; }

    void rgrpLogFileClick(QObject *sender);
    void PopupMenu1Popup();
    void actnDelMsgExecute();
    void DisplayHint(const QString &hint);

    // Item commands (TMainFormItems.cpp).
    void actnAddExecute();
    void actnDeleteExecute();
    void actnResetExecute();
    // False when the name was refused (the message has been shown).
    bool editGroupNameExit();

    // Password entry (TMainFormPasswords.cpp).
    void butnChangeAdminPassClick();
    void butnChangeSMTPPassClick();
    void butnChangeIncomingPassClick();
    void butnChangeUserPassClick();

    // Log view (TMainFormLog.cpp).
    void tabsLogViewShow();
    void actnRefreshLogExecute();
    void actnClearLogExecute();
    // A refresh is still reading the log or putting it into the view.
    bool isLogRefreshing() const;
    // Help menu (TMainFormHelp.cpp).
    void actnDocumentationExecute();
    void actnSupportExecute();
    void actnHomePageExecute();
    void actnTipDayExecute();
    void actnCheckVersionExecute();
    void actnAboutExecute();
    void FormActivate();
    TKDVersion *KDVersion1 = nullptr;
    std::unique_ptr<TKDTipDay> TipDay;
    TTipForm *tipForm(); // the tips window, built once

    // The fixed nodes.
    NavNode *nodeGeneral = nullptr;
    NavNode *nodeAdvanced = nullptr;
    NavNode *nodeLog = nullptr;
    NavNode *nodeLogSettings = nullptr;
    NavNode *nodeLogView = nullptr;
    NavNode *nodeIncoming = nullptr;
    NavNode *nodeUsers = nullptr;
    NavNode *nodeGroups = nullptr;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Handler = std::function<void(QObject *)>;

    // Page building (TMainFormPages.cpp).
    void buildWindow();
    void buildMenus();
    void buildReviewActions(QMenu *file);
    void buildHistoryAction(QMenu *file);
    ConfigDocument windowDocument() const;
    bool readSavedDocument(ConfigDocument *doc);
    void selectChange(ItemKeys::Kind kind, int index);
    QWidget *buildGeneralPage();
    QWidget *buildAdvancedPage();
    QWidget *buildIncomingItemPage();
    QWidget *buildUserItemPage();
    QWidget *buildGroupItemPage();
    QWidget *buildLogSettingsPage();
    QWidget *buildLogViewPage();
    void connectItemCommands();
    void connectPasswordButtons();
    void connectLogView();
    void showLogViewText(const QString &path, LogViewText read);
    void stopLogRefresh();
    QFutureWatcher<LogViewText> *m_logRead = nullptr; // a large log being read on a worker thread
    // Removes the group's data folder; says what stayed when not everything could go. True
    // when anything was removed (the Delete's undo step then says its messages stay deleted).
    bool removeGroupData(const TGroup &group);
    void refuseGroupName();
    void changePassword(MaskedBytesEdit *field, bool digest);
    QWidget *buildOverviewPage(const char *name, const QString &title, const QString &text);
    QWidget *newPage(const char *name, const QString &title);
    void setHint(QWidget *w, const QString &hint);
    void buildTree();
    void fillBindAddresses();
    void setupFilterAndFindings();
    void openTreeBranchOf(QTreeWidgetItem *node);

    NavNode *newItemNode(const QString &caption, int imageIndex, NavNode *parent);
    NavNode *selectedNode() const;
    TGroup *selectedGroup() const;
    void updateItemActions();
    void setCaptionOf(NavNode *node);
    QByteArray memoBytes(const QPlainTextEdit *memo, const QByteArray &original) const;
    void showMemo(QPlainTextEdit *memo, const QByteArray &bytes);
    void showText(QLineEdit *edit, const QByteArray &bytes);
    template <typename T>
    QList<const T *> itemsUnder(NavNode *root) const;

    MainFormContext m_ctx;
    Prompts *m_prompts;
    std::unique_ptr<Clock> m_systemClock; // when the context brings no clock
    Clock *m_clock;
    TextCodec m_codec;

    // State of the run.
    bool RemoteMode = false;
    std::unique_ptr<ConfigTransfer> m_transfer; // remote mode only
    QString m_fileName = QStringLiteral("quilmora.ini");
    bool OldFormat = false;
    bool m_changed = false; // follows the undo history: set while it is not at its clean state
    bool m_unsent = false;  // remote mode: the last save did not reach the server
    void showChangedMark(); // the title's "*": m_changed or m_unsent
    bool m_pageFill = false;
    // The group whose name field was left with a name the check refuses, until the
    // refusal has been shown; the tree keeps its selection meanwhile.
    QTreeWidgetItem *m_refusedGroupNode = nullptr;
    QMap<QString, Handler> m_savedHandlers;     // control name -> handler before hooking
    QHash<QObject *, Handler> m_designHandlers; // handlers the controls are built with
    QByteArrayList m_groupEntries, m_userEntries; // bytes of the check lists' entries, by row
    QByteArrayList m_defaultChoices;            // bytes of the default-group entries
    MembershipChoices m_groupChoices, m_userChoices; // kept between showings of the lists
    ServerSettings m_server;                    // as loaded or last saved: the bytes kept
    ConfigDocument *m_loading = nullptr;        // the document whose items are being taken
    ConfigPreload::Loaded *m_loadedAhead = nullptr; // its items' nodes, when read ahead
    SafeFile::Fingerprint m_diskFingerprint;    // the file as loaded or last saved

    QList<QIcon> ImageList2;
    TreeFilter *m_treeFilter = nullptr;
    FindingsMarker *m_findingsMarker = nullptr;

    // Undo and redo (TMainFormUndo.cpp): every edit is a step of the history.
    friend class EditHistory;
    void buildEditMenu();
    void beginEdit(QObject *sender); // an edit starts: what it changes is taken as it was
    void endEdit();                  // and as it is now, as one step
    void clearEditHistory();         // a configuration was loaded
    void recordAdd(NavNode *node);
    void recordDelete(NavNode *node, bool dataRemoved);
    QUndoStack *m_undoStack = nullptr;
    EditHistory *m_history = nullptr;

    // Help menu (TMainFormHelp.cpp).
    void setupHelp();
    std::unique_ptr<Registry> m_ownRegistry;
    std::unique_ptr<Shell> m_ownShell;
    std::unique_ptr<SystemInfo> m_ownSystemInfo;
    Registry *m_registry = nullptr;
    Shell *m_shell = nullptr;
    const SystemInfo *m_systemInfo = nullptr;
    std::unique_ptr<TTipForm> TipForm;
    bool m_activatedOnce = false;

public:
    // Controls, by the names the tests and the other windows use.
    NavTree *tvNav = nullptr;
    QLineEdit *editTreeFilter = nullptr; // filters the tree's items (Ctrl+F)
    QLabel *lablTreeFilter = nullptr;    // in the status bar: how many items the filter shows
    QToolButton *butnFindings = nullptr; // in the status bar: "2 errors, 5 warnings"
    QAction *actnTreeFilter = nullptr;
    QTabWidget *pctrlMain = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QMenu *PopupMenu1 = nullptr;
    // The tree menu's entries; each shows and runs its action (actnAdd ... actnDelMsg).
    QAction *menuAdd = nullptr, *menuDelete = nullptr, *menuReset = nullptr, *menuDelMsg = nullptr;

    QWidget *tabsGeneral = nullptr, *tabsAdvanced = nullptr, *tabsIncomingItem = nullptr,
            *tabsUserItem = nullptr, *tabsGroupItem = nullptr, *tabsLogSettings = nullptr,
            *tabsLogView = nullptr, *tabsIncoming = nullptr, *tabsUsers = nullptr,
            *tabsGroups = nullptr, *tabsLog = nullptr;

    // General
    QLineEdit *editName = nullptr;
    QComboBox *cmbBindIP = nullptr;
    QSpinBox *sedtPort = nullptr;
    QLineEdit *editSMTPServer = nullptr, *editOutBoundPrefix = nullptr, *editOutBoundMarker = nullptr,
              *editAdminEmail = nullptr, *editAdminUser = nullptr;
    QCheckBox *chkbAdminEmailActive = nullptr;
    MaskedBytesEdit *editAdminPass = nullptr;
    QPushButton *butnChangeAdminPass = nullptr;
    // Advanced
    QSpinBox *sedtSMTPPort = nullptr, *sedtConfigPort = nullptr;
    QLineEdit *editSMTPUserID = nullptr;
    MaskedBytesEdit *editSMTPUserPass = nullptr;
    QPushButton *butnChangeSMTPPass = nullptr;
    // Incoming account
    QTabWidget *pctrlIncoming = nullptr;
    QLineEdit *editPopHost = nullptr, *editPopUser = nullptr, *editPopAutoReplyFrom = nullptr,
              *editPopAutoReplySubject = nullptr, *editAutoReplyFromIgnore = nullptr, *editSafetyBox = nullptr;
    QSpinBox *sedtPopPort = nullptr;
    MaskedBytesEdit *editPopPass = nullptr;
    QPushButton *butnChangeIncomingPass = nullptr;
    QCheckBox *chkbPopAutoReply = nullptr, *chkbOBID = nullptr;
    QPlainTextEdit *memoPopAutoReplyBody = nullptr;
    QListWidget *chlstGroups = nullptr;
    ChecklistFilter *filterGroups = nullptr;
    QComboBox *cboxPopDefault = nullptr;
    // User
    QLineEdit *editUserDesc = nullptr, *editUserName = nullptr;
    MaskedBytesEdit *editUserPass = nullptr;
    QPushButton *butnChangeUserPass = nullptr;
    // Group
    QTabWidget *pctrlGroup = nullptr;
    QLineEdit *editGroupName = nullptr, *editGroupDesc = nullptr, *editGroupOutboundAddr = nullptr;
    QCheckBox *chkbGroupRO = nullptr;
    QPlainTextEdit *memoGroupKeys = nullptr;
    QListWidget *chlstUsers = nullptr;
    ChecklistFilter *filterUsers = nullptr;
    // Log
    RadioGroup *rgrpLogSettings = nullptr, *rgrpLogFile = nullptr;
    QSpinBox *sedtLogSize = nullptr;
    QToolBar *ToolBar2 = nullptr;
    QPlainTextEdit *memoLog = nullptr;
    LogFindBar *findLog = nullptr; // Ctrl+F on the log view
    LogViewFill *logFill = nullptr; // puts a refresh's text into memoLog slice by slice

    // Actions.
    QAction *actnSave = nullptr, *actnExit = nullptr;
    QMenu *menuEdit = nullptr;
    QAction *actnUndo = nullptr, *actnRedo = nullptr;
    QAction *actnCheck = nullptr;
    QAction *actnReview = nullptr, *actnRevert = nullptr, *actnRestoreBackup = nullptr;
    QAction *actnHistory = nullptr;
    QPointer<CheckResultsDialog> checkResults; // open while the administrator works through it
    QAction *actnDocumentation = nullptr, *actnSupport = nullptr, *actnHomePage = nullptr,
            *actnTipDay = nullptr, *actnCheckVersion = nullptr, *actnAbout = nullptr;
    QAction *actnAdd = nullptr, *actnDelete = nullptr, *actnReset = nullptr, *actnDelMsg = nullptr;
    QAction *actnRefreshLog = nullptr, *actnClearLog = nullptr;

    // Connection tests (TMainFormConnTest.cpp): File, Test Connections... and the Test
    // buttons of an incoming account's page and of the General page, on what the window
    // holds, saved or not.
    void setupConnectionTests();
    void actnTestConnectionsExecute();
    void butnTestPopClick();
    void butnTestSMTPClick();
    void sendTestMessage();
    void runConnectionTests(const QList<ConnectionTest::Target> &targets);
    QAction *actnTestConnections = nullptr;
    QPushButton *butnTestPop = nullptr, *butnTestSMTP = nullptr;
    QPointer<ConnectionTestDialog> connectionTests;
    std::shared_ptr<ConnectionTest::Options> connectionTestOptions; // limits; tests make them short
};
