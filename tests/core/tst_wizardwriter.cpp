#include "config/ConfigDocument.h"
#include "config/TextCodec.h"
#include "support/ProcessLimits.h"
#include "support/TestFiles.h"
#include "wizard/WizardWriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(WizardFields)

namespace {

const QDate Today(2004, 3, 7);

// A digest with a zero byte inside, as the Change button may give one.
const QByteArray Digest = QByteArray::fromHex("00112233445566778899AABBCCDDEEFF");

WizardFields filled()
{
    WizardFields f;
    f.serverName = "news.harbour.example";
    f.smtpServer = "smtp.harbour.example";
    f.adminEmail = "ops@harbour.example";
    f.adminEmailActive = true;
    f.outboundPrefix = "HB-";
    f.outboundMarker = "##";
    f.popServer = "pop.harbour.example";
    f.popUser = "sales";
    f.popPassword = "pw1";
    f.autoReply = true;
    f.autoReplyFrom = "sales@harbour.example";
    f.autoReplySubject = "Received";
    f.autoReplyBody = "Thanks\r\nBye";
    f.groupName = "sales.support";
    f.groupDescription = "Sales enquiries";
    f.groupOutboundAddress = "reply@harbour.example";
    f.userDescription = "Corporate";
    f.userName = "front desk";
    f.userPass = Digest;
    return f;
}

// Every line of a file followed by CR LF.
QByteArray crlf(const char *text)
{
    QByteArray bytes(text);
    bytes.replace("\n", "\r\n");
    return bytes;
}

} // namespace

class TestWizardWriter : public QObject
{
    Q_OBJECT
private slots:
    void render_data();
    void render();
    void existingFile_data();
    void existingFile();
    void failedWriteKeepsOldFile();
    void writtenFileLoadsAsWritten_data();
    void writtenFileLoadsAsWritten();
};

void TestWizardWriter::render_data()
{
    QTest::addColumn<WizardFields>("fields");
    QTest::addColumn<QByteArray>("expected");

    // The user name stands twice, the group name three times; the POP password is the hex
    // of its bytes, the body's two lines are joined by 0D0A with nothing after them.
    QTest::newRow("filled") << filled() << crlf("[SERVER]\n"
                                                "Port=119\n"
                                                "Name=news.harbour.example\n"
                                                "Version=1.05\n"
                                                "SMTPHost=smtp.harbour.example\n"
                                                "Groups=1\n"
                                                "LastGroup=2\n"
                                                "Users=1\n"
                                                "LastUser=2\n"
                                                "Pops=1\n"
                                                "LastPOP=2\n"
                                                "OutboundPrefix=HB-\n"
                                                "OutboundMarker=##\n"
                                                "AdminEmail=ops@harbour.example\n"
                                                "AdminEmailActive=1\n"
                                                "[USER1]\n"
                                                "Description=Corporate\n"
                                                "Name=front desk\n"
                                                "Pass=00112233445566778899AABBCCDDEEFF\n"
                                                "[GROUP1]\n"
                                                "Name=sales.support\n"
                                                "ReadOnly=N\n"
                                                "Created=20040307000000\n"
                                                "Description=Sales enquiries\n"
                                                "OutboundAddress=reply@harbour.example\n"
                                                "Users=\"front desk\"\n"
                                                "[POP1]\n"
                                                "Host=pop.harbour.example\n"
                                                "Port=110\n"
                                                "UserID=sales\n"
                                                "Password=707731\n"
                                                "Newsgroups=sales.support\n"
                                                "DefaultGroup=sales.support\n"
                                                "AutoReply=Y\n"
                                                "AutoReplyFrom=sales@harbour.example\n"
                                                "AutoReplyBody=5468616E6B730D0A427965\n"
                                                "AutoReplySubject=Received\n");

    // The wizard's initial contents.
    QTest::newRow("untouched") << WizardFields() << crlf("[SERVER]\n"
                                                         "Port=119\n"
                                                         "Name=Quilmora\n"
                                                         "Version=1.05\n"
                                                         "SMTPHost=mail\n"
                                                         "Groups=1\n"
                                                         "LastGroup=2\n"
                                                         "Users=1\n"
                                                         "LastUser=2\n"
                                                         "Pops=1\n"
                                                         "LastPOP=2\n"
                                                         "OutboundPrefix=QM-\n"
                                                         "OutboundMarker=>>>\n"
                                                         "AdminEmail=admin@yourcompany.example\n"
                                                         "AdminEmailActive=0\n"
                                                         "[USER1]\n"
                                                         "Description=\n"
                                                         "Name=\n"
                                                         "Pass=\n"
                                                         "[GROUP1]\n"
                                                         "Name=\n"
                                                         "ReadOnly=N\n"
                                                         "Created=20040307000000\n"
                                                         "Description=\n"
                                                         "OutboundAddress=\n"
                                                         "Users=\n"
                                                         "[POP1]\n"
                                                         "Host=\n"
                                                         "Port=110\n"
                                                         "UserID=\n"
                                                         "Password=\n"
                                                         "Newsgroups=\n"
                                                         "DefaultGroup=\n"
                                                         "AutoReply=Y\n"
                                                         "AutoReplyFrom=\n"
                                                         "AutoReplyBody=\n"
                                                         "AutoReplySubject=\n");

    // Every field emptied and the auto-reply off: every key is there with an empty value,
    // and AutoReply N is the last key although the three fields hold text.
    WizardFields empty;
    empty.serverName.clear();
    empty.smtpServer.clear();
    empty.adminEmail.clear();
    empty.outboundPrefix.clear();
    empty.outboundMarker.clear();
    empty.autoReply = false;
    empty.autoReplyFrom = "kept@harbour.example";
    empty.autoReplySubject = "kept";
    empty.autoReplyBody = "kept";
    QTest::newRow("all empty, no auto-reply") << empty << crlf("[SERVER]\n"
                                                               "Port=119\n"
                                                               "Name=\n"
                                                               "Version=1.05\n"
                                                               "SMTPHost=\n"
                                                               "Groups=1\n"
                                                               "LastGroup=2\n"
                                                               "Users=1\n"
                                                               "LastUser=2\n"
                                                               "Pops=1\n"
                                                               "LastPOP=2\n"
                                                               "OutboundPrefix=\n"
                                                               "OutboundMarker=\n"
                                                               "AdminEmail=\n"
                                                               "AdminEmailActive=0\n"
                                                               "[USER1]\n"
                                                               "Description=\n"
                                                               "Name=\n"
                                                               "Pass=\n"
                                                               "[GROUP1]\n"
                                                               "Name=\n"
                                                               "ReadOnly=N\n"
                                                               "Created=20040307000000\n"
                                                               "Description=\n"
                                                               "OutboundAddress=\n"
                                                               "Users=\n"
                                                               "[POP1]\n"
                                                               "Host=\n"
                                                               "Port=110\n"
                                                               "UserID=\n"
                                                               "Password=\n"
                                                               "Newsgroups=\n"
                                                               "DefaultGroup=\n"
                                                               "AutoReply=N\n");
}

void TestWizardWriter::render()
{
    QFETCH(WizardFields, fields);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    int asked = 0;
    QString error;
    const WizardWriteResult result = WriteConfiguration(
        path, fields, Today, [&asked]() { return ++asked, true; }, &error);
    QCOMPARE(result, WizardWriteResult::Written);
    QCOMPARE(asked, 0); // no file, no question
    QCOMPARE(TestFiles::read(path), expected);
}

void TestWizardWriter::existingFile_data()
{
    QTest::addColumn<bool>("ok");
    QTest::newRow("OK replaces") << true;
    QTest::newRow("Cancel keeps") << false;
}

void TestWizardWriter::existingFile()
{
    QFETCH(bool, ok);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    const QByteArray old = "[SERVER]\r\nName=old\r\nBindIP=10.0.0.1\r\n[USER7]\r\nName=kept\r\n";
    QVERIFY(TestFiles::write(path, old));

    int asked = 0;
    QString error;
    const WizardWriteResult result = WriteConfiguration(
        path, filled(), Today, [&]() { return ++asked, ok; }, &error);
    QCOMPARE(asked, 1);
    if (ok) {
        QCOMPARE(result, WizardWriteResult::Written);
        // Replaced entirely: nothing of the old file survives.
        QCOMPARE(TestFiles::read(path), WizardWriter::render(filled(), Today));
    } else {
        QCOMPARE(result, WizardWriteResult::Declined);
        QCOMPARE(TestFiles::read(path), old);
    }
}

void TestWizardWriter::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    QString error;

    // A folder that does not exist.
    const QString missing = dir.filePath(QStringLiteral("nowhere/quilmora.ini"));
    QCOMPARE(WriteConfiguration(missing, filled(), Today, {}, &error), WizardWriteResult::Failed);
    QCOMPARE(error, QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(missing));

    // The file system refuses the write part-way (file size limit): the old file is still
    // whole, not half of the new one.
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QVERIFY(TestFiles::write(path, "[SERVER]\r\nName=old\r\n"));
    WizardWriteResult result{};
    {
        const FileSizeLimit limit(64);
        QVERIFY(limit.isSet());
        result = WriteConfiguration(path, filled(), Today, []() { return true; }, &error);
    }
    QCOMPARE(result, WizardWriteResult::Failed);
    QCOMPARE(error, QStringLiteral("Unable to write to ") + QDir::toNativeSeparators(path));
    QCOMPARE(TestFiles::read(path), QByteArray("[SERVER]\r\nName=old\r\n"));
}

void TestWizardWriter::writtenFileLoadsAsWritten_data()
{
    QTest::addColumn<QByteArray>("userName");
    QTest::addColumn<QByteArray>("groupName");
    QTest::newRow("plain names") << QByteArray("frontdesk") << QByteArray("sales");
    QTest::newRow("user name with a blank") << QByteArray("front desk") << QByteArray("sales.support");
    QTest::newRow("comma and quote") << QByteArray("a,\"b\"") << QByteArray("x y");
}

// The editor reads the wizard's file in the current format: the digest stays the digest
// (not digested again), the body is kept, and each list holds the one name as entered.
void TestWizardWriter::writtenFileLoadsAsWritten()
{
    QFETCH(QByteArray, userName);
    QFETCH(QByteArray, groupName);
    WizardFields f = filled();
    f.userName = userName;
    f.groupName = groupName;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quilmora.ini"));
    QString error;
    QCOMPARE(WriteConfiguration(path, f, Today, {}, &error), WizardWriteResult::Written);

    ConfigDocument doc;
    QVERIFY2(doc.load(path, TextCodec(), &error, QLocale::c()), qPrintable(error));
    QVERIFY(!doc.oldFormat);
    QCOMPARE(doc.server.Name, f.serverName);
    QCOMPARE(doc.server.AdminEmailActive, true);
    QCOMPARE(doc.users.size(), size_t(1));
    QCOMPARE(doc.users[0]->Name, userName);
    QCOMPARE(doc.users[0]->Pass, Digest);
    QCOMPARE(doc.groups.size(), size_t(1));
    QCOMPARE(doc.groups[0]->Name, groupName);
    QCOMPARE(doc.groups[0]->Users, QByteArrayList{userName});
    QCOMPARE(doc.pops.size(), size_t(1));
    QCOMPARE(doc.pops[0]->Newsgroups, QByteArrayList{groupName});
    QCOMPARE(doc.pops[0]->DefaultGroup, groupName);
    QCOMPARE(doc.pops[0]->Password, QByteArray("pw1"));
    QCOMPARE(doc.pops[0]->AutoReplyBody, QByteArray("Thanks\r\nBye"));
}

QTEST_GUILESS_MAIN(TestWizardWriter)
#include "tst_wizardwriter.moc"
