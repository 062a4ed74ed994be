#pragma once

#include <QDialog>
#include <QStringList>

class Prompts;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class RadioGroup;
class SystemInfo;
class TKDSupport;

// "Technical Support": the user's contact details and a description of a question or a
// problem, mailed with the machine's details to the support mailbox on "Send". "Preview"
// shows the exact report before it goes, since it carries details of the machine. The mail
// goes on a thread of its own behind a progress dialog with Cancel; the windows stay
// painted meanwhile.
class TSupportForm : public QDialog
{
    Q_OBJECT

public:
    TSupportForm(Prompts &prompts, const SystemInfo &system, const QString &programFolder, QWidget *parent = nullptr);

    // The application's name and version for the report's "Application" and "Version" lines.
    QString applicationText;
    QString versionText;
    int timeoutMs = 60000;
    int overallLimitSeconds = 60; // Send gives up when the mail has not gone by then

    // The user's block of the report, line by line.
    QStringList userInfo() const;
    // The support request as "Send" would fill it in.
    void fillRequest(TKDSupport &support) const;

    void rgrpTypeClick();
    void butnSendClick();
    void butnPreviewClick();

    QGroupBox *gboxContact;
    QLineEdit *editName;
    QLineEdit *editEmail;
    QLineEdit *editTelephone;
    RadioGroup *rgrpType;
    QGroupBox *gboxDescription;
    QLineEdit *editTitle;
    QLabel *lablOccurence;
    QComboBox *cboxOccurence;
    QPlainTextEdit *memoDetails;
    QPushButton *butnPreview;
    QPushButton *butnSend;
    QPushButton *butnCancel;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    Prompts &m_prompts;
    const SystemInfo &m_system;
    QString m_programFolder;
};
