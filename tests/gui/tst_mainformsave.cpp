// The editor's main window and its file: start-up in local and remote mode, the values
// loaded into the pages, a file that cannot be loaded, a missing one, the question when
// closing with changes, a failed save, and saves byte for byte as normalize writes them,
// with text in another character set, long values and memo breaks kept and no NUL pasted.
#include "config/ConfigDocument.h"
#include "support/CliRunner.h"
#include "support/gui/GuiTestUtil.h"
#include "support/gui/MainFormFixture.h"
#include "widgets/MaskedBytesEdit.h"
#include "widgets/RadioGroup.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QTreeWidgetItemIterator>
#include <functional>

using MainFormFixtureFiles::demoFile;
using MainFormFixtureFiles::kRealistic;

namespace {

// A transfer standing in for a server: the fetch writes the file it was given as the
// local copy, the return counts its calls.
class FakeTransfer : public ConfigTransfer
{
public:
    FakeTransfer(QByteArray file, int *puts)
        : m_file(std::move(file))
        , m_puts(puts)
    {
    }
    QString fetchConfig(const QString &folder) override
    {
        if (!TestFiles::write(QDir(folder).filePath(QStringLiteral("host.example")), m_file))
            return {};
        return QStringLiteral("host.example");
    }
    void putConfig(const QString &) override { ++*m_puts; }

private:
    QByteArray m_file;
    int *m_puts;
};

class FixedChooser : public RunModeChooser
{
public:
    std::function<RunModeChoice()> answer;
    RunModeChoice choose(QWidget *) override { return answer(); }
};

} // namespace

class TestMainFormSave : public QObject, public MainFormFixture
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        m_form.reset();
        m_dir.reset();
    }

    void startUpState()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        QCOMPARE(f->tvNav->currentItem(), nullptr);
        QCOMPARE(f->pctrlMain->currentWidget()->objectName(), QStringLiteral("tabsGeneral"));
        QVERIFY(f->pctrlMain->tabBar()->isHidden());
        QVERIFY(!f->isChanged());
        QVERIFY(!f->isRemoteMode());

        QStringList top;
        for (int i = 0; i < f->tvNav->topLevelItemCount(); ++i) {
            top << f->tvNav->topLevelItem(i)->text(0);
            QVERIFY(!f->tvNav->topLevelItem(i)->isExpanded());
        }
        QCOMPARE(top, (QStringList{"General", "Advanced", "Log", "Incoming Accounts", "Users", "Groups"}));
        QCOMPARE(f->nodeLog->childCount(), 2);
        QCOMPARE(f->nodeLog->child(0)->text(0), QStringLiteral("Settings"));
        QCOMPARE(f->nodeLog->child(1)->text(0), QStringLiteral("View"));
        QCOMPARE(f->nodeIncoming->childCount(), 3);
        QCOMPARE(f->nodeIncoming->child(0)->text(0), QStringLiteral("sales/pop.harbour.example"));
        QCOMPARE(f->nodeUsers->childCount(), 5);
        QCOMPARE(f->nodeGroups->childCount(), 4);

        // Image indices of the fixed nodes and of each kind of item.
        const QList<QPair<QTreeWidgetItem *, int>> images = {
            {f->nodeGeneral, 2}, {f->nodeAdvanced, 6}, {f->nodeLog, 5}, {f->nodeLogSettings, 10},
            {f->nodeLogView, 9}, {f->nodeIncoming, 0}, {f->nodeUsers, 8}, {f->nodeGroups, 4},
            {f->nodeIncoming->child(0), 1}, {f->nodeUsers->child(0), 7}, {f->nodeGroups->child(0), 3}};
        for (const auto &[node, index] : images)
            QCOMPARE(static_cast<NavNode *>(node)->imageIndex(), index);

        // Taking the focus selects nothing.
        f->activateWindow();
        f->tvNav->setFocus();
        QCOMPARE(f->tvNav->currentItem(), nullptr);
        QVERIFY(!f->isChanged());
        QCOMPARE(f->size(), QSize(TMainForm::ClientWidth, f->height()));
    }

    void remoteModeHasNoLogView()
    {
        int puts = 0;
        FixedChooser chooser;
        chooser.answer = [&] { return RunModeChoice::remote(std::make_unique<FakeTransfer>(demoFile(), &puts)); };
        TMainForm *f = open({}, {}, &chooser);
        QVERIFY(f);
        QVERIFY(f->isRemoteMode());
        QCOMPARE(f->nodeLog->childCount(), 1);
        QCOMPARE(f->nodeLogView, nullptr);
        QCOMPARE(f->editName->text(), QStringLiteral("Harbour Office"));
        QCOMPARE(f->configFilePath(), m_dir->filePath(QStringLiteral("host.example")));

        retype(f->editName, QStringLiteral("Remote"));
        QVERIFY(f->isChanged());
        QVERIFY(f->actnSaveExecute());
        QCOMPARE(puts, 1);
        QVERIFY(TestFiles::read(f->configFilePath()).contains("Name=Remote\r\n"));
        QVERIFY(!QFile::exists(iniPath()));
    }

    void cancelledChoiceLoadsNothing()
    {
        FixedChooser chooser;
        chooser.answer = [] { return RunModeChoice::cancel(); };
        m_dir = std::make_unique<QTemporaryDir>();
        MainFormContext ctx;
        ctx.prompts = &m_prompts;
        ctx.programFolder = m_dir->path();
        ctx.runModeChooser = &chooser;
        TMainForm form(ctx);
        QCOMPARE(form.start(false), TMainForm::StartResult::Ended);
        QVERIFY(!form.isVisible());
        QCOMPARE(form.nodeUsers->childCount(), 0);
    }

    void memoIsStoredWithCrLf()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        NavNode *group = static_cast<NavNode *>(f->nodeGroups->child(1));
        select(group);
        f->pctrlGroup->setCurrentIndex(0);
        f->memoGroupKeys->setFocus();
        QTest::keyClicks(f->memoGroupKeys, QStringLiteral("a"));
        QTest::keyClick(f->memoGroupKeys, Qt::Key_Return);
        QTest::keyClicks(f->memoGroupKeys, QStringLiteral("b"));
        QCOMPARE(group->group()->KeyList, QByteArray("a\r\nb"));
        QVERIFY(f->actnSaveExecute());
        QVERIFY(TestFiles::read(iniPath()).contains("KeyList=610D0A62\r\n"));
    }

    void loadValues_data()
    {
        QTest::addColumn<QByteArray>("server");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("logFile");
        QTest::addColumn<bool>("sizeEnabled");
        QTest::addColumn<int>("logSize");
        QTest::newRow("never overwrite") << QByteArray("Version=1.05\r\nLogSize=0\r\n") << 119 << 0 << false << 0;
        QTest::newRow("overwrite at 50") << QByteArray("Version=1.05\r\nLogSize=50\r\n") << 119 << 1 << true << 50;
        QTest::newRow("port clamped") << QByteArray("Version=1.05\r\nPort=70000\r\n") << 65534 << 0 << false << 0;
    }

    void loadValues()
    {
        QFETCH(QByteArray, server);
        QFETCH(int, port);
        QFETCH(int, logFile);
        QFETCH(bool, sizeEnabled);
        QFETCH(int, logSize);
        TMainForm *f = open("[SERVER]\r\n" + server);
        QVERIFY(f);
        QCOMPARE(f->sedtPort->value(), port);
        QCOMPARE(f->rgrpLogFile->itemIndex(), logFile);
        QCOMPARE(f->sedtLogSize->isEnabled(), sizeEnabled);
        QCOMPARE(f->sedtLogSize->value(), logSize);
        QVERIFY(!f->isChanged());
    }

    // A one-line field never takes a NUL: pasted, it is left out with a note, and the item
    // and the saved file hold the rest.
    void nulPastedIntoTextFieldLeftOut()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        NavNode *user = static_cast<NavNode *>(f->nodeUsers->child(0));
        select(user);
        retype(f->editUserDesc, QStringLiteral("Front"));
        QGuiApplication::clipboard()->setText(QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0));
        f->editUserDesc->paste();
        QCOMPARE(f->editUserDesc->text(), QStringLiteral("Frontab"));
        QCOMPARE(f->editUserDesc->cursorPosition(), 7);
        QCOMPARE(user->user()->Description, QByteArray("Frontab"));
        QVERIFY(f->StatusBar1->currentMessage().contains(QStringLiteral("NUL")));
        QVERIFY(f->actnSaveExecute());
        QVERIFY(TestFiles::read(iniPath()).contains("Description=Frontab\r\n"));
    }

    void invalidVersionEndsWithoutTouchingFile()
    {
        const QByteArray file = "[SERVER]\r\nVersion=abc\r\n[USER1]\r\nName=kept\r\n";
        QVERIFY(!open(file));
        QCOMPARE(m_prompts.shown, QStringList{"error: 'abc' is not a valid floating point value"});
        QCOMPARE(TestFiles::read(iniPath()), file);
    }

    void missingFileLoadsDefaultsAndSaveCreatesIt()
    {
        TMainForm *f = open(QByteArray());
        QVERIFY(f);
        QCOMPARE(f->sedtPort->value(), 119);
        QCOMPARE(f->nodeIncoming->childCount(), 0);
        QVERIFY(f->actnSaveExecute());
        const QByteArray saved = TestFiles::read(iniPath());
        QVERIFY(saved.startsWith("[SERVER]\r\nPort=119\r\n"));
        QVERIFY(saved.endsWith("Pops=0\r\nUsers=0\r\nGroups=0\r\n"));
    }

    void closeQuery_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<int>("answer"); // -1: no question expected
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("saved");
        QTest::newRow("unchanged") << false << -1 << true << false;
        QTest::newRow("yes") << true << int(Prompts::Answer::Yes) << true << true;
        QTest::newRow("no") << true << int(Prompts::Answer::No) << true << false;
        QTest::newRow("cancel") << true << int(Prompts::Answer::Cancel) << false << false;
    }

    void closeQuery()
    {
        QFETCH(bool, edit);
        QFETCH(int, answer);
        QFETCH(bool, closed);
        QFETCH(bool, saved);
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        if (edit) {
            select(f->nodeUsers->child(0));
            retype(f->editUserDesc, QStringLiteral("Front"));
        }
        if (answer >= 0)
            m_prompts.answers = {Prompts::Answer(answer)};
        QVERIFY(GuiTestUtil::trigger(f, "actnExit"));
        QCOMPARE(m_prompts.shown, answer >= 0 ? QStringList{"yesNoCancel: Configuration has changed, do you want to save?"}
                                              : QStringList{});
        QCOMPARE(!f->isVisible(), closed);
        QCOMPARE(TestFiles::read(iniPath()).contains("Description=Front\r\n"), saved);
        QCOMPARE(f->isChanged(), edit && !saved);
        if (!closed) // the changes are still there
            QCOMPARE(static_cast<NavNode *>(f->nodeUsers->child(0))->user()->Description, QByteArray("Front"));
    }

    void failedSaveKeepsFileFlagAndWindow()
    {
        TMainForm *f = open(demoFile());
        QVERIFY(f);
        retype(f->editName, QStringLiteral("Lost?"));
        // A folder that cannot be written: the save's temporary file cannot be made there.
        const QString path = iniPath();
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkdir(path)); // the file's name is now a folder
        // Save at the close question, and overwrite what now stands there.
        m_prompts.answers = {Prompts::Answer::Yes, Prompts::Answer::Yes};
        f->close();
        QVERIFY(f->isVisible());
        QVERIFY(f->isChanged());
        QCOMPARE(m_prompts.shown.last(), QStringLiteral("error: Unable to write to ") + QDir::toNativeSeparators(path));
    }

    void saveEqualsNormalize_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("demo") << demoFile();
        QTest::newRow("hand-edited") << kRealistic;
        QTest::newRow("old format") << QByteArray("[SERVER]\r\nName=Old\r\nAdminPass=70617373\r\n"
                                                  "[USER1]\r\nName=u\r\nPass=7077\r\n"
                                                  "[GROUP1]\r\nName=g\r\nKeyListFile=missing.txt\r\n");
    }

    void saveEqualsNormalize()
    {
        QFETCH(QByteArray, file);
        TMainForm *f = open(file);
        QVERIFY(f);
        // Visiting every page changes nothing.
        QTreeWidgetItemIterator it(f->tvNav);
        while (*it) {
            select(*it);
            ++it;
        }
        QVERIFY(!f->isChanged());
        QVERIFY(f->actnSaveExecute());
        const QByteArray editorSaved = TestFiles::read(iniPath());

        QTemporaryDir cliDir;
        QVERIFY(TestFiles::write(cliDir.filePath(QStringLiteral("quilmora.ini")), file));
        QCOMPARE(runCli({QStringLiteral("--folder"), cliDir.path(), QStringLiteral("normalize")}).status, 0);
        QCOMPARE(editorSaved, TestFiles::read(cliDir.filePath(QStringLiteral("quilmora.ini"))));
    }

    void legacyCharsetSurvivesOtherEdit_data()
    {
        QTest::addColumn<QByteArray>("encoding");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("windows-1252") << QByteArray("windows-1252") << QStringLiteral("\u00e9") << QByteArray("\xe9");
        QTest::newRow("locale (UTF-8)") << QByteArray() << QStringLiteral("\u00e9") << QByteArray("\xc3\xa9");
    }

    void legacyCharsetSurvivesOtherEdit()
    {
        QFETCH(QByteArray, encoding);
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        // Bytes of a single-byte charset: in UTF-8 they do not even decode.
        const QByteArray desc = "Caf\xe9 \x80 \xa0na\xefve";
        const QByteArray keys = "cl\xe9\r\ncr\xe8me";
        const QByteArray file = "[SERVER]\r\nVersion=1.05\r\nName=Ma\xefson\r\n[GROUP1]\r\nName=caf\xe9\r\nDescription="
                                + desc + "\r\nKeyList=" + keys.toHex().toUpper() + "\r\n";
        TMainForm *f = open(file, encoding);
        QVERIFY(f);
        NavNode *group = static_cast<NavNode *>(f->nodeGroups->child(0));
        select(group);
        retype(f->editGroupOutboundAddr, typed);
        QCOMPARE(group->group()->OutboundAddress, stored);
        QCOMPARE(group->group()->Description, desc);
        QCOMPARE(group->group()->Name, QByteArray("caf\xe9"));
        QCOMPARE(group->group()->KeyList, keys);
        select(f->nodeGeneral);
        retype(f->editOutBoundMarker, QStringLiteral("##"));
        QVERIFY(f->actnSaveExecute());
        const QByteArray saved = TestFiles::read(iniPath());
        QVERIFY(saved.contains("Name=Ma\xefson\r\n"));
        QVERIFY(saved.contains("Description=" + desc + "\r\n"));
        QVERIFY(saved.contains("OutboundAddress=" + stored + "\r\n"));
    }

    // A value longer than a line edit holds by default is shown whole and kept whole
    // when another field of its page is edited.
    void longValueSurvivesOtherEdit()
    {
        const QByteArray desc = QByteArray(40000, 'd') + "end";
        TMainForm *f = open("[SERVER]\r\nVersion=1.05\r\n[USER1]\r\nName=u\r\nDescription=" + desc + "\r\n");
        QVERIFY(f);
        NavNode *user = static_cast<NavNode *>(f->nodeUsers->child(0));
        select(user);
        QCOMPARE(f->editUserDesc->text().size(), desc.size());
        retype(f->editUserName, QStringLiteral("v"));
        QCOMPARE(user->user()->Name, QByteArray("v"));
        QCOMPARE(user->user()->Description, desc);
    }
};

QTEST_MAIN(TestMainFormSave)
#include "tst_mainformsave.moc"
