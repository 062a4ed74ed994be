// The configuration read ahead while start-up waits in the connection dialog: it stands
// for the load only when it read the file whole and the file has not changed since;
// otherwise the window reads the file itself, and shows what the file holds now.
#include "main/ConfigPreload.h"
#include "main/NavTree.h"
#include "main/TMainForm.h"
#include "support/ScriptedPrompts.h"
#include "support/TestFiles.h"
#include "support/gui/GuiTestUtil.h"

#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

using GuiTestUtil::child;

namespace {

const QByteArray Config = "[SERVER]\r\nName=Office\r\nVersion=1.05\r\n"
                          "[USER1]\r\nName=maria\r\n[USER2]\r\nName=jo\r\n[GROUP1]\r\nName=sales\r\n";
const QByteArray Rewritten = "[SERVER]\r\nName=Rewritten office\r\nVersion=1.05\r\n[USER1]\r\nName=maria\r\n";
const QByteArray NotAConfiguration("\x7f" "ELF\x02\x01\x01\x00\x00\x00", 10);

} // namespace

class TestConfigPreload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void takeGivesOnlyWhatTheFileHoldsNow_data();
    void takeGivesOnlyWhatTheFileHoldsNow();
    void givenOnce();
    void windowLoad_data();
    void windowLoad();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(QStringLiteral("quilmora.ini")); }
};

void TestConfigPreload::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestConfigPreload::takeGivesOnlyWhatTheFileHoldsNow_data()
{
    QTest::addColumn<QByteArray>("before"); // null: no file when the read starts
    QTest::addColumn<QByteArray>("after");  // null: the file is left as it was
    QTest::addColumn<bool>("otherPath");
    QTest::addColumn<int>("users"); // -1: nothing is given

    QTest::newRow("unchanged") << Config << QByteArray() << false << 2;
    QTest::newRow("rewritten after the read") << Config << Rewritten << false << -1;
    QTest::newRow("asked for another file") << Config << QByteArray() << true << -1;
    QTest::newRow("not a configuration") << NotAConfiguration << QByteArray() << false << -1;
    QTest::newRow("missing, still missing") << QByteArray() << QByteArray() << false << 0;
    QTest::newRow("missing, then made") << QByteArray() << Config << false << -1;
}

void TestConfigPreload::takeGivesOnlyWhatTheFileHoldsNow()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(bool, otherPath);
    QFETCH(int, users);
    if (!before.isNull())
        QVERIFY(TestFiles::write(path(), before));
    ConfigPreload preload;
    preload.start(path(), TextCodec(), {});
    preload.wait();
    if (!after.isNull())
        QVERIFY(TestFiles::write(path(), after));

    const auto loaded = preload.take(otherPath ? m_dir->filePath(QStringLiteral("other.ini")) : path());
    QCOMPARE(bool(loaded), users >= 0);
    if (!loaded)
        return;
    // What the window would have read itself, fingerprint and all; the items are in the
    // nodes, in the file's order.
    ConfigDocument now;
    now.linkedFileMode = LinkedFiles::Mode::Inside;
    QString error;
    QVERIFY(now.load(path(), TextCodec(), &error));
    QVERIFY(loaded->doc.fingerprint == now.fingerprint);
    QCOMPARE(loaded->doc.server.Name, now.server.Name);
    QVERIFY(loaded->doc.users.empty());
    QCOMPARE(int(now.users.size()), users);
    QCOMPARE(loaded->userNodes.size(), qsizetype(users));
    for (int i = 0; i < users; ++i) {
        const auto *node = static_cast<const NavNode *>(loaded->userNodes.at(i));
        QCOMPARE(node->text(0), QString::fromLatin1(now.users.at(size_t(i))->Name));
        QVERIFY(node->user());
        QCOMPARE(node->user()->Name, now.users.at(size_t(i))->Name);
    }
    QCOMPARE(loaded->groupNodes.size(), qsizetype(now.groups.size()));
}

void TestConfigPreload::givenOnce()
{
    QVERIFY(TestFiles::write(path(), Config));
    ConfigPreload preload;
    preload.start(path(), TextCodec(), {});
    QVERIFY(preload.take(path()));
    QVERIFY(!preload.take(path()));
}

void TestConfigPreload::windowLoad_data()
{
    QTest::addColumn<QByteArray>("after"); // null: the file is left as it was
    QTest::addColumn<QString>("name");     // the General page's Name; empty: start-up fails

    QTest::newRow("unchanged") << QByteArray() << QStringLiteral("Office");
    QTest::newRow("rewritten while the dialog waited") << Rewritten << QStringLiteral("Rewritten office");
    QTest::newRow("spoilt while the dialog waited") << NotAConfiguration << QString();
}

void TestConfigPreload::windowLoad()
{
    QFETCH(QByteArray, after);
    QFETCH(QString, name);
    QVERIFY(TestFiles::write(path(), Config));
    ConfigPreload preload;
    preload.start(path(), TextCodec(), {});
    preload.wait();
    if (!after.isNull())
        QVERIFY(TestFiles::write(path(), after));

    ScriptedPrompts prompts;
    MainFormContext ctx;
    ctx.prompts = &prompts;
    ctx.programFolder = m_dir->path();
    ctx.localAddresses = [] { return QStringList{QStringLiteral("192.0.2.10")}; };
    ctx.preload = &preload;
    TMainForm form(ctx);
    const TMainForm::StartResult result = form.start(false);
    if (name.isEmpty()) {
        // Reported as any load of that file is, and the editor ends.
        QCOMPARE(result, TMainForm::StartResult::Failed);
        QCOMPARE(prompts.shown.size(), 1);
        QVERIFY2(prompts.shown.first().contains(QStringLiteral("is not a configuration file")),
                 qPrintable(prompts.shown.first()));
        return;
    }
    QCOMPARE(result, TMainForm::StartResult::Run);
    QCOMPARE(child<QLineEdit>(&form, "editName")->text(), name);
    QCOMPARE(prompts.shown, QStringList());
}

QTEST_MAIN(TestConfigPreload)
#include "tst_configpreload.moc"
