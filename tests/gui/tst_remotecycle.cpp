// Start-up in remote mode through the connection dialog, and an edit-and-save cycle
// against the loopback server.
#include "main/ConnectRunModeChooser.h"
#include "main/TMainForm.h"
#include "support/LoopbackConfigServer.h"
#include "support/ScriptedPrompts.h"
#include "support/gui/GuiTestUtil.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QGroupBox>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using GuiTestUtil::child;
using Script = LoopbackConfigServer::Script;

class TestRemoteCycle : public QObject
{
    Q_OBJECT

    static void chooseRemote(QWidget *form, quint16 port)
    {
        for (QRadioButton *b : child<QGroupBox>(form, "rgrpServer")->findChildren<QRadioButton *>())
            if (b->text() == QStringLiteral("Remote"))
                QTest::mouseClick(b, Qt::LeftButton);
        child<QLineEdit>(form, "editCnxServer")->setText(QStringLiteral("127.0.0.1"));
        child<QSpinBox>(form, "sedtCnxPort")->setValue(port);
        child<QLineEdit>(form, "editCnxUser")->setText(QStringLiteral("admin"));
        child<QLineEdit>(form, "editCnxPass")->setText(QStringLiteral("secret"));
        QTest::mouseClick(child<QPushButton>(form, "BitBtn1"), Qt::LeftButton);
    }

private slots:
    void editAndSave()
    {
        QTemporaryDir dir;
        IniFileRegistry registry(dir.filePath(QStringLiteral("registry")));
        ScriptedPrompts prompts;
        ConnectRunModeChooser chooser(registry, prompts, nullptr);
        const QByteArray config = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n";
        LoopbackConfigServer server({Script().line().send("200 OK\r\n").line().sendBlock(config),
                                     Script().line().send("200 OK\r\n").line().receiveBlock()});
        MainFormContext ctx;
        ctx.prompts = &prompts;
        ctx.programFolder = dir.path();
        ctx.runModeChooser = &chooser;
        TMainForm form(ctx);
        const quint16 port = server.port();
        GuiTestUtil::onNextModal([port](QWidget *w) { chooseRemote(w, port); });
        QCOMPARE(form.start(false), TMainForm::StartResult::Run);
        QVERIFY(form.isRemoteMode());
        form.show();
        auto *name = child<QLineEdit>(&form, "editName");
        QCOMPARE(name->text(), QStringLiteral("Office"));
        name->setFocus();
        QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(name, QStringLiteral("Harbour"));
        QVERIFY(form.isChanged());
        QVERIFY(form.actnSaveExecute());
        QVERIFY(!form.isChanged());
        QVERIFY(server.wait());
        QCOMPARE(server.blocks().size(), 1);
        QVERIFY(server.blocks().first().contains("Name=Harbour\r\n"));
        QVERIFY(server.received(1).startsWith("AUTH admin secret\r\nPUT\r\n"));
        QCOMPARE(prompts.shown, QStringList());
    }

    void refusedFetchEndsTheProgram()
    {
        QTemporaryDir dir;
        IniFileRegistry registry(dir.filePath(QStringLiteral("registry")));
        ScriptedPrompts prompts;
        ConnectRunModeChooser chooser(registry, prompts, nullptr);
        LoopbackConfigServer server({Script().line().send("500 Login refused\r\n")});
        MainFormContext ctx;
        ctx.prompts = &prompts;
        ctx.programFolder = dir.path();
        ctx.runModeChooser = &chooser;
        TMainForm form(ctx);
        const quint16 port = server.port();
        GuiTestUtil::onNextModal([port](QWidget *w) { chooseRemote(w, port); });
        QCOMPARE(form.start(false), TMainForm::StartResult::Failed);
        QCOMPARE(prompts.shown, QStringList{QStringLiteral("error: Login refused")});
    }
};

QTEST_MAIN(TestRemoteCycle)
#include "tst_remotecycle.moc"
