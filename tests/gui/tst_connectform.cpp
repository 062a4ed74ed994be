// The connection dialog: controls and initial values, the Local/Remote state, values in
// and out, the default-login warning, the remembered settings around it, and start-up's
// use of its result against the loopback server.
#include "main/ConnectRunModeChooser.h"
#include "platform/Registry.h"
#include "remote/TConnectForm.h"
#include "remote/TRemoteInfo.h"
#include "support/LoopbackConfigServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

using GuiTestUtil::child;
using Script = LoopbackConfigServer::Script;

namespace {

const QString DefaultLoginWarning = QStringLiteral(
    "warning: You are using the default login values. For security reasons it is recommended that you "
    "change it once you login");

QRadioButton *choice(QWidget *form, const QString &text)
{
    for (QRadioButton *b : child<QGroupBox>(form, "rgrpServer")->findChildren<QRadioButton *>()) {
        if (b->text() == text)
            return b;
    }
    return nullptr;
}

// Saves a picture of the dialog when QUILMORA_SCREENSHOT_DIR names a folder.
void maybeScreenshot(QWidget *form, const char *name)
{
    const QString folder = qEnvironmentVariable("QUILMORA_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        form->grab().save(folder + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"));
}

} // namespace

class TestConnectForm : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void controlsAndInitialValues();
    void localRemoteState();
    void valuesInAndOut();
    void tabSkipsThePort();
    void portThatIsNoNumberGivesZero_data();
    void portThatIsNoNumberGivesZero();
    void defaultLoginWarning_data();
    void defaultLoginWarning();

    void firstRunDefaults();
    void storedValuesRestored();
    void cancelStoresNothing_data();
    void cancelStoresNothing();
    void unusableRegistry();

    void startUpCancel();
    void startUpLocal();
    void startUpRemote_data();
    void startUpRemote();
    void workWhileWaiting_data();
    void workWhileWaiting();
    void askedBeforeTheWindow_data();
    void askedBeforeTheWindow();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<IniFileRegistry> m_registry;
    ScriptedPrompts m_prompts;

    // Runs the start-up dialog; `drive` acts on it once it is shown.
    std::optional<ConnectSettings> runDialog(std::function<void(QWidget *)> drive)
    {
        GuiTestUtil::onNextModal(std::move(drive));
        return TConnectForm::run(*m_registry, m_prompts);
    }

    static void fillRemote(QWidget *form, const QString &host, const QString &port, const QString &user,
                           const QString &password)
    {
        QTest::mouseClick(choice(form, QStringLiteral("Remote")), Qt::LeftButton);
        QTest::keyClicks(child<QLineEdit>(form, "editCnxServer"), host);
        auto *port_ = child<QSpinBox>(form, "sedtCnxPort");
        port_->selectAll();
        QTest::keyClicks(port_, port);
        QTest::keyClicks(child<QLineEdit>(form, "editCnxUser"), user);
        QTest::keyClicks(child<QLineEdit>(form, "editCnxPass"), password);
    }
};

void TestConnectForm::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_registry = std::make_unique<IniFileRegistry>(m_dir->path() + QStringLiteral("/registry"));
    m_prompts = ScriptedPrompts();
}

void TestConnectForm::controlsAndInitialValues()
{
    TConnectForm form(ConnectSettings(), m_prompts);
    QCOMPARE(form.windowTitle(), QStringLiteral("Connection Details"));
    QCOMPARE(child<QGroupBox>(&form, "rgrpServer")->title(), QStringLiteral(" Server "));
    QCOMPARE(child<QGroupBox>(&form, "gboxServer")->title(), QStringLiteral(" Connection Settings "));
    QVERIFY(choice(&form, QStringLiteral("Local"))->isChecked());
    QVERIFY(!choice(&form, QStringLiteral("Remote"))->isChecked());
    QCOMPARE(child<QSpinBox>(&form, "sedtCnxPort")->value(), 35000);
    QCOMPARE(child<QLineEdit>(&form, "editCnxServer")->text(), QString());
    QCOMPARE(child<QLineEdit>(&form, "editCnxUser")->text(), QString());
    QCOMPARE(child<QLineEdit>(&form, "editCnxPass")->echoMode(), QLineEdit::Password);
    QCOMPARE(child<QPushButton>(&form, "BitBtn1")->text(), QStringLiteral("OK"));
    QVERIFY(child<QPushButton>(&form, "BitBtn1")->isDefault());
    QCOMPARE(child<QPushButton>(&form, "BitBtn2")->text(), QStringLiteral("Cancel"));
    QStringList labels;
    for (QLabel *l : form.findChildren<QLabel *>())
        labels << l->text();
    QCOMPARE(labels, (QStringList{QStringLiteral("IP (Hostname)"), QStringLiteral("Port"), QStringLiteral("Username"),
                                  QStringLiteral("Password")}));
    // The port box has no bounds of its own.
    QCOMPARE(child<QSpinBox>(&form, "sedtCnxPort")->minimum(), std::numeric_limits<int>::min());
    QCOMPARE(child<QSpinBox>(&form, "sedtCnxPort")->maximum(), std::numeric_limits<int>::max());
    // A fixed dialog with the close box alone, centred on the screen.
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowContextHelpButtonHint)));
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    const QPoint offCentre = form.frameGeometry().center() - form.screen()->availableGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
}

void TestConnectForm::localRemoteState()
{
    TConnectForm form(ConnectSettings(), m_prompts);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *group = child<QGroupBox>(&form, "gboxServer");
    auto *host = child<QLineEdit>(&form, "editCnxServer");
    const QColor buttonFace = QApplication::palette(host).color(QPalette::Button);
    const QColor editColour = QApplication::palette(host).color(QPalette::Base);
    QVERIFY(buttonFace != editColour);

    QVERIFY(!group->isEnabled());
    for (const char *name : {"editCnxServer", "editCnxUser", "editCnxPass", "sedtCnxPort"})
        QCOMPARE(child<QWidget>(&form, name)->palette().color(QPalette::Base), buttonFace);
    maybeScreenshot(&form, "connect-local");

    QTest::mouseClick(choice(&form, QStringLiteral("Remote")), Qt::LeftButton);
    QVERIFY(group->isEnabled());
    for (const char *name : {"editCnxServer", "editCnxUser", "editCnxPass", "sedtCnxPort"})
        QCOMPARE(child<QWidget>(&form, name)->palette().color(QPalette::Base), editColour);

    QTest::mouseClick(choice(&form, QStringLiteral("Local")), Qt::LeftButton);
    QVERIFY(!group->isEnabled());
    QCOMPARE(host->palette().color(QPalette::Base), buttonFace);
}

void TestConnectForm::valuesInAndOut()
{
    ConnectSettings in;
    in.connection = 1;
    in.server = QStringLiteral("10.0.0.5");
    in.portText = QStringLiteral("4000");
    in.user = QStringLiteral("front desk");
    in.password = QStringLiteral("secret");
    TConnectForm form(in, m_prompts);
    QVERIFY(choice(&form, QStringLiteral("Remote"))->isChecked());
    QVERIFY(child<QGroupBox>(&form, "gboxServer")->isEnabled());
    const ConnectSettings out = form.settings();
    QCOMPARE(out.connection, 1);
    QCOMPARE(out.server, in.server);
    QCOMPARE(out.portText, in.portText);
    QCOMPARE(out.user, in.user);
    QCOMPARE(out.password, in.password);

    // The password is shown as stars and has the focus when the dialog opens.
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    auto *pass = child<QLineEdit>(&form, "editCnxPass");
    QTRY_COMPARE(form.focusWidget(), pass);
    QCOMPARE(pass->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, pass), int('*'));
    maybeScreenshot(&form, "connect");
}

void TestConnectForm::tabSkipsThePort()
{
    ConnectSettings in;
    in.connection = 1;
    TConnectForm form(in, m_prompts);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    // Once round from the chosen server kind: the port box is passed over.
    QWidget *remote = choice(&form, QStringLiteral("Remote"));
    remote->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), remote);
    const QList<QWidget *> order = {child<QWidget>(&form, "editCnxServer"), child<QWidget>(&form, "editCnxUser"),
                                    child<QWidget>(&form, "editCnxPass"),   child<QWidget>(&form, "BitBtn1"),
                                    child<QWidget>(&form, "BitBtn2"),       remote};
    for (QWidget *next : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), next);
    }
}

void TestConnectForm::portThatIsNoNumberGivesZero_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("emptied") << QString();
    QTest::newRow("minus sign alone") << QStringLiteral("-");
}

void TestConnectForm::portThatIsNoNumberGivesZero()
{
    // The box held a remembered port; emptying it must give port 0, not that port again.
    ConnectSettings stored;
    stored.connection = 1;
    stored.server = QStringLiteral("127.0.0.1");
    stored.portText = QStringLiteral("4000");
    QVERIFY(stored.store(*m_registry));

    QFETCH(QString, typed);
    const auto result = runDialog([typed](QWidget *form) {
        auto *port = child<QSpinBox>(form, "sedtCnxPort");
        port->selectAll();
        QTest::keyClick(port, Qt::Key_Backspace);
        QTest::keyClicks(port, typed);
        QCOMPARE(port->text(), typed);
        // Enter takes the text in and answers the dialog with its default button, OK.
        QTest::keyClick(port, Qt::Key_Return);
    });
    QVERIFY(result);
    QCOMPARE(result->portValue(), 0);
    const auto remote = result->makeRemoteInfo(m_prompts, nullptr);
    QVERIFY(remote);
    QCOMPARE(remote->Port, 0);
    QCOMPARE(ConnectSettings::load(*m_registry).portText, QStringLiteral("0"));
}

void TestConnectForm::defaultLoginWarning_data()
{
    QTest::addColumn<int>("connection");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("warned");

    const QString login = QStringLiteral("zerevovu");
    QTest::newRow("remote, default login") << 1 << login << login << true;
    QTest::newRow("local, default login") << 0 << login << login << true;
    QTest::newRow("user in capitals") << 1 << QStringLiteral("ZEREVOVU") << login << false;
    QTest::newRow("other password") << 1 << login << QStringLiteral("zerevovu2") << false;
    QTest::newRow("other user") << 1 << QStringLiteral("admin") << login << false;
    QTest::newRow("both empty") << 1 << QString() << QString() << false;
}

void TestConnectForm::defaultLoginWarning()
{
    ConnectSettings in;
    QFETCH(int, connection);
    QFETCH(QString, user);
    QFETCH(QString, password);
    in.connection = connection;
    in.user = user;
    in.password = password;
    TConnectForm form(in, m_prompts);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QTest::mouseClick(child<QPushButton>(&form, "BitBtn1"), Qt::LeftButton);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QVERIFY(!form.isVisible());
    QFETCH(bool, warned);
    QCOMPARE(m_prompts.shown, warned ? QStringList{DefaultLoginWarning} : QStringList());
}

void TestConnectForm::firstRunDefaults()
{
    ConnectSettings seen;
    bool focusOnFirstChoice = false;
    const auto result = runDialog([&](QWidget *form) {
        seen = static_cast<TConnectForm *>(form)->settings();
        focusOnFirstChoice = form->focusWidget() == choice(form, QStringLiteral("Local"));
        QVERIFY(!child<QGroupBox>(form, "gboxServer")->isEnabled());
        QTest::mouseClick(child<QPushButton>(form, "BitBtn1"), Qt::LeftButton);
    });
    QVERIFY(result);
    QCOMPARE(seen.connection, 0);
    QCOMPARE(seen.server, QString());
    QCOMPARE(seen.user, QString());
    QCOMPARE(seen.password, QString());
    QCOMPARE(seen.portText, QStringLiteral("35000"));
    // The password box is disabled with Local chosen, so the choice takes the focus.
    QVERIFY(focusOnFirstChoice);
    QCOMPARE(result->connection, 0);
}

void TestConnectForm::storedValuesRestored()
{
    const auto first = runDialog([](QWidget *form) {
        fillRemote(form, QStringLiteral("config.example.net"), QStringLiteral("4000"), QStringLiteral("admin"),
                   QStringLiteral("pw-never-kept"));
        QTest::mouseClick(child<QPushButton>(form, "BitBtn1"), Qt::LeftButton);
    });
    QVERIFY(first);
    QCOMPARE(first->connection, 1);
    QCOMPARE(first->portText, QStringLiteral("4000"));
    QCOMPARE(first->password, QStringLiteral("pw-never-kept"));

    QFile file(m_registry->filePath(Registry::Root::LocalMachine));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains("pw-never-kept"));

    ConnectSettings seen;
    bool groupEnabled = false;
    QWidget *focused = nullptr;
    QWidget *password = nullptr;
    const auto second = runDialog([&](QWidget *form) {
        seen = static_cast<TConnectForm *>(form)->settings();
        groupEnabled = child<QGroupBox>(form, "gboxServer")->isEnabled();
        focused = form->focusWidget();
        password = child<QWidget>(form, "editCnxPass");
        QTest::keyClick(form, Qt::Key_Escape);
    });
    QVERIFY(!second);
    QCOMPARE(seen.connection, 1);
    QVERIFY(groupEnabled);
    QCOMPARE(seen.server, QStringLiteral("config.example.net"));
    QCOMPARE(seen.portText, QStringLiteral("4000"));
    QCOMPARE(seen.user, QStringLiteral("admin"));
    QCOMPARE(seen.password, QString());
    QCOMPARE(focused, password);
}

void TestConnectForm::cancelStoresNothing_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Cancel") << QStringLiteral("cancel");
    QTest::newRow("Esc") << QStringLiteral("esc");
    QTest::newRow("close box") << QStringLiteral("close");
}

void TestConnectForm::cancelStoresNothing()
{
    ConnectSettings stored;
    stored.connection = 1;
    stored.server = QStringLiteral("kept.example.net");
    stored.user = QStringLiteral("kept");
    QVERIFY(stored.store(*m_registry));
    QFile file(m_registry->filePath(Registry::Root::LocalMachine));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    QFETCH(QString, how);
    const auto result = runDialog([how](QWidget *form) {
        QTest::mouseClick(choice(form, QStringLiteral("Local")), Qt::LeftButton);
        child<QLineEdit>(form, "editCnxServer")->setText(QStringLiteral("changed"));
        if (how == QLatin1String("cancel"))
            QTest::mouseClick(child<QPushButton>(form, "BitBtn2"), Qt::LeftButton);
        else if (how == QLatin1String("esc"))
            QTest::keyClick(form, Qt::Key_Escape);
        else
            form->close();
    });
    QVERIFY(!result);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(m_prompts.shown, QStringList());
}

void TestConnectForm::unusableRegistry()
{
    // A file where the registry folder should be: the dialog opens with the initial values
    // and OK stores nothing, without a message.
    const QString blocked = m_dir->path() + QStringLiteral("/blocked");
    QVERIFY(TestFiles::write(blocked, QByteArray()));
    m_registry = std::make_unique<IniFileRegistry>(blocked);
    ConnectSettings seen;
    const auto result = runDialog([&](QWidget *form) {
        seen = static_cast<TConnectForm *>(form)->settings();
        fillRemote(form, QStringLiteral("h"), QStringLiteral("1"), QStringLiteral("u"), QStringLiteral("p"));
        QTest::mouseClick(child<QPushButton>(form, "BitBtn1"), Qt::LeftButton);
    });
    QVERIFY(result);
    QCOMPARE(result->server, QStringLiteral("h"));
    QCOMPARE(seen.connection, 0);
    QCOMPARE(seen.portText, QStringLiteral("35000"));
    QCOMPARE(m_prompts.shown, QStringList());
    QCOMPARE(QFileInfo(blocked).isFile(), true);
}

void TestConnectForm::startUpCancel()
{
    const auto result = runDialog([](QWidget *form) { QTest::mouseClick(child<QPushButton>(form, "BitBtn2"), Qt::LeftButton); });
    QVERIFY(!result); // start-up ends the program: nothing loaded, no editor window
}

void TestConnectForm::startUpLocal()
{
    const auto result = runDialog([](QWidget *form) { QTest::mouseClick(child<QPushButton>(form, "BitBtn1"), Qt::LeftButton); });
    QVERIFY(result);
    QVERIFY(!result->remote());
    QVERIFY(!result->makeRemoteInfo(m_prompts, nullptr));
}

void TestConnectForm::startUpRemote_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("fetched");
    QTest::newRow("working server") << QByteArray("200 OK\r\n") << true;
    QTest::newRow("refusing server") << QByteArray("500 Login refused\r\n") << false;
}

void TestConnectForm::startUpRemote()
{
    QFETCH(QByteArray, reply);
    QFETCH(bool, fetched);
    const QByteArray config = "[SERVER]\r\nName=Office\r\n";
    Script script = Script().line().send(reply);
    if (fetched)
        script.line().sendBlock(config);
    LoopbackConfigServer server({script});

    const QString port = QString::number(server.port());
    const auto result = runDialog([port](QWidget *form) {
        fillRemote(form, QStringLiteral("127.0.0.1"), port, QStringLiteral("admin"), QStringLiteral("secret"));
        QTest::mouseClick(child<QPushButton>(form, "BitBtn1"), Qt::LeftButton);
    });
    QVERIFY(result);
    QVERIFY(result->remote());
    const auto remote = result->makeRemoteInfo(m_prompts, nullptr);
    QVERIFY(remote);
    QCOMPARE(remote->Host, QStringLiteral("127.0.0.1"));
    QCOMPARE(remote->Port, qint32(server.port()));

    const QString folder = m_dir->path() + QLatin1Char('/');
    const QString name = remote->GetConfig(folder);
    QVERIFY(server.wait());
    QCOMPARE(server.received(0).left(19), QByteArray("AUTH admin secret\r\n"));
    if (fetched) {
        QCOMPARE(name, QStringLiteral("127.0.0.1"));
        QCOMPARE(TestFiles::read(folder + name), config);
        QCOMPARE(m_prompts.shown, QStringList());
    } else {
        // Start-up ends the program after this message.
        QCOMPARE(name, QString());
        QCOMPARE(m_prompts.shown, QStringList{QStringLiteral("error: Login refused")});
    }
}

void TestConnectForm::workWhileWaiting_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("OK") << QByteArray("BitBtn1") << true;
    QTest::newRow("Cancel") << QByteArray("BitBtn2") << false;
}

// The work start-up does while the dialog waits runs once, after the dialog's first paint,
// with the dialog on the screen, and leaves the dialog's answer alone.
void TestConnectForm::workWhileWaiting()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, accepted);
    struct PaintSeen : QObject
    {
        bool painted = false;
        bool eventFilter(QObject *watched, QEvent *event) override
        {
            painted = painted || (event->type() == QEvent::Paint && watched->inherits("TConnectForm"));
            return false;
        }
    } paintSeen;
    qApp->installEventFilter(&paintSeen);
    int runs = 0;
    bool paintedFirst = false, dialogShown = false;
    GuiTestUtil::onNextModal([&](QWidget *form) {
        QTRY_COMPARE(runs, 1);
        QTest::mouseClick(child<QPushButton>(form, button.constData()), Qt::LeftButton);
    });
    const auto result = TConnectForm::run(*m_registry, m_prompts, nullptr, [&] {
        ++runs;
        paintedFirst = paintSeen.painted;
        if (QWidget *modal = QApplication::activeModalWidget())
            dialogShown = modal->isVisible();
    });
    QCOMPARE(runs, 1);
    QVERIFY(paintedFirst);
    QVERIFY(dialogShown);
    QCOMPARE(result.has_value(), accepted);
}

void TestConnectForm::askedBeforeTheWindow_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<bool>("remote");
    QTest::addColumn<int>("mode"); // RunModeChoice::Mode
    QTest::newRow("OK, local") << QByteArray("BitBtn1") << false << int(RunModeChoice::Mode::Local);
    QTest::newRow("OK, remote") << QByteArray("BitBtn1") << true << int(RunModeChoice::Mode::Remote);
    QTest::newRow("Cancel") << QByteArray("BitBtn2") << false << int(RunModeChoice::Mode::Cancel);
}

// Start-up asks before the main window exists; the window's own question then gets that
// answer without a second dialog.
void TestConnectForm::askedBeforeTheWindow()
{
    QFETCH(QByteArray, button);
    QFETCH(bool, remote);
    QFETCH(int, mode);
    const bool accepted = mode != int(RunModeChoice::Mode::Cancel);
    ConnectRunModeChooser chooser(*m_registry, m_prompts, nullptr);
    GuiTestUtil::onNextModal([&](QWidget *form) {
        if (remote)
            fillRemote(form, QStringLiteral("127.0.0.1"), QStringLiteral("35001"), QStringLiteral("ops"),
                       QStringLiteral("secret"));
        QTest::mouseClick(child<QPushButton>(form, button.constData()), Qt::LeftButton);
    });
    QCOMPARE(chooser.askFirst({}), accepted);

    // A second dialog would be cancelled here, and the answer would be Cancel.
    int secondDialogs = 0;
    GuiTestUtil::onNextModal([&](QWidget *form) {
        ++secondDialogs;
        QTest::mouseClick(child<QPushButton>(form, "BitBtn2"), Qt::LeftButton);
    });
    QWidget owner;
    const RunModeChoice choice = chooser.choose(&owner);
    QCOMPARE(int(choice.mode), mode);
    QCOMPARE(bool(choice.transfer), remote); // the transfer, made now, with the window as owner
    QCOMPARE(secondDialogs, 0);
    // The answer is given once: a later question shows the dialog again.
    QCOMPARE(chooser.choose(&owner).mode, RunModeChoice::Mode::Cancel);
    QCOMPARE(secondDialogs, 1);
}

QTEST_MAIN(TestConnectForm)
#include "tst_connectform.moc"
