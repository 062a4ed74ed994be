#pragma once

#include "config/TextCodec.h"
#include "wizard/WizardWriter.h"

#include <QDialog>
#include <QList>

class Clock;
class MaskedBytesEdit;
class Prompts;
class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class Shell;

// What the wizard is built from: its platform layers and the server's folder.
struct WizardContext
{
    Prompts *prompts = nullptr; // required
    Shell *shell = nullptr;     // required; opens the home page
    const Clock *clock = nullptr; // required; the day written as the group's creation date
    QString programFolder;      // where quilmora.ini is written
    TextCodec codec;            // the configuration's character set
};

// "Quilmora Configuration Wizard": eight pages that lead a first-time administrator through
// the settings of a working server, and on the last page write a first configuration file.
// Shown modally at start-up under "/w"; however it closes, the run ends with it.
class TWizardForm : public QDialog
{
    Q_OBJECT

public:
    // Outer size of the window; the client area is this less a usual frame.
    static constexpr int ClientWidth = 539;
    static constexpr int ClientHeight = 369;
    static constexpr int PictureWidth = 149;
    static constexpr int BottomHeight = 51;
    static constexpr int PageCount = 8;

    explicit TWizardForm(const WizardContext &context, QWidget *parent = nullptr);
    ~TWizardForm() override;

    // What the fields hold now, as the writer takes them.
    WizardFields fields() const;
    QString configFilePath() const;

    // Handlers. Closing the wizard, however it happens, ends the run: start-up returns
    // once the modal wizard has closed.
    void FormCreate();
    void FormActivate();
    void actnNextExecute();
    void actnPreviousExecute();
    void actnCancelExecute();
    void chkbAutoReplyClick();
    void butnChangeClick();
    void Label28Click();
    // Writes the file from the fields; false when the write failed (the error was shown).
    bool WriteConfiguration();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The eight pages with their fields (TWizardFormPages.cpp).
    void buildPages();
    QWidget *newPage(const char *name, const QString &title, int step, const QString &explanation);
    void pageChanged();

    WizardContext m_ctx;
    bool m_activated = false;
    QList<QWidget *> m_firstField; // per page, the control that takes the focus

public:
    // Controls, by their object names.
    QLabel *Image1 = nullptr;
    QTabWidget *pctrlWizard = nullptr;
    QWidget *tabsWelcome = nullptr, *tabsGeneral = nullptr, *tabsOutbound = nullptr, *tabsIncoming = nullptr,
            *tabsAutoReply = nullptr, *tabsGroups = nullptr, *tabsUsers = nullptr, *tabsFinish = nullptr;
    QLineEdit *editServerName = nullptr, *editSMTPServer = nullptr, *editAdminEmail = nullptr;
    QCheckBox *chkbAdminEmailActive = nullptr;
    QLineEdit *editOBPrefix = nullptr, *editOBMarker = nullptr;
    QLineEdit *editPOPServer = nullptr, *editPOPUser = nullptr, *editPOPPass = nullptr;
    QCheckBox *chkbAutoReply = nullptr;
    QGroupBox *grpbAutoReply = nullptr;
    QLineEdit *editAutoReplyFrom = nullptr, *editAutoReplySubject = nullptr;
    QPlainTextEdit *memoAutoReply = nullptr;
    QLineEdit *editGroupName = nullptr, *editGroupDesc = nullptr, *editGroupOBAddress = nullptr;
    QLineEdit *editUserDesc = nullptr, *editUserName = nullptr;
    MaskedBytesEdit *editUserPass = nullptr;
    QPushButton *butnChange = nullptr;
    QLabel *Label28 = nullptr;
    QAction *actnPrevious = nullptr, *actnNext = nullptr, *actnCancel = nullptr;
    QPushButton *butnPrevious = nullptr, *butnNext = nullptr, *butnCancel = nullptr;
};
