#pragma once

#include "remote/ConnectSettings.h"

#include <QDialog>
#include <functional>
#include <optional>

class QButtonGroup;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class Registry;

// "Connection Details": asks at start-up whether to edit the server on this machine
// (Local) or one reached over the network (Remote), and for the remote server's address,
// port and login. A value editor: built from settings, it gives settings back; run()
// adds the registry around it.
class TConnectForm : public QDialog
{
    Q_OBJECT

public:
    TConnectForm(const ConnectSettings &initial, Prompts &prompts, QWidget *parent = nullptr);

    // What the fields hold now.
    ConnectSettings settings() const;

    // Start-up's dialog: opens with the remembered settings, and on OK remembers the new
    // ones (never the password) and gives them back. Nothing on Cancel, Esc or the close box.
    // `whileWaiting`, when given, runs once the dialog has first painted, inside the
    // dialog's event loop, so that work the program needs next is done while the user reads
    // the dialog; input that comes meanwhile waits for it. It does not run when the dialog
    // closes first.
    static std::optional<ConnectSettings> run(Registry &registry, Prompts &prompts, QWidget *parent = nullptr,
                                              std::function<void()> whileWaiting = {});

    // Applies the Local/Remote state of the radio group to the connection fields.
    void rgrpServerClick();
    // OK: warns about the server's default login, then closes with OK.
    void BitBtn1Click();

protected:
    void showEvent(QShowEvent *event) override;
    bool event(QEvent *event) override;

private:
    std::function<void()> m_afterFirstPaint;
    Prompts &m_prompts;
    QGroupBox *rgrpServer;
    QButtonGroup *m_serverChoice;
    QGroupBox *gboxServer;
    QLineEdit *editCnxServer;
    QSpinBox *sedtCnxPort;
    QLineEdit *editCnxUser;
    QLineEdit *editCnxPass;
    QPushButton *BitBtn1;
    QPushButton *BitBtn2;
};
