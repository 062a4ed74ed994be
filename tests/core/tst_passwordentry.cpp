#include "config/PasswordDigest.h"
#include "config/PasswordEntry.h"
#include "config/TextCodec.h"
#include "support/ScriptedPrompts.h"

#include <QTest>

class TestPasswordEntry : public QObject
{
    Q_OBJECT
private slots:
    void answers_data();
    void answers();
    void promptsAsked();
};

void TestPasswordEntry::answers_data()
{
    QTest::addColumn<QList<std::optional<QString>>>("texts");
    QTest::addColumn<bool>("digest");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("shown");

    using T = QList<std::optional<QString>>;
    const QByteArray old("old\0pw", 6);
    QTest::newRow("digest") << T{QStringLiteral("s3cret"), QStringLiteral("s3cret")} << true
                            << PasswordDigest("s3cret") << QStringList{};
    QTest::newRow("plain") << T{QStringLiteral("s3cret"), QStringLiteral("s3cret")} << false
                           << QByteArray("s3cret") << QStringList{};
    QTest::newRow("empty first entry") << T{QString()} << true << old << QStringList{};
    QTest::newRow("first cancelled") << T{std::nullopt} << true << old << QStringList{};
    QTest::newRow("second cancelled") << T{QStringLiteral("a"), std::nullopt} << false << old
                                      << QStringList{};
    QTest::newRow("case differs") << T{QStringLiteral("Secret"), QStringLiteral("secret")} << true
                                  << old
                                  << QStringList{QStringLiteral(
                                         "error: Passwords do not match! New password not set")};
}

void TestPasswordEntry::answers()
{
    QFETCH(QList<std::optional<QString>>, texts);
    QFETCH(bool, digest);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, shown);
    ScriptedPrompts prompts;
    prompts.texts = texts;
    const QByteArray old("old\0pw", 6);
    QCOMPARE(AskNewPassword(prompts, old, digest, TextCodec("windows-1252")), expected);
    QCOMPARE(prompts.shown.filter(QStringLiteral("error:")), shown);
}

void TestPasswordEntry::promptsAsked()
{
    // Two prompts, captioned in turn, both labelled "Password"; the typed text is encoded
    // in the configuration's character set before it is digested.
    ScriptedPrompts prompts;
    prompts.texts = {QStringLiteral("caf\u00e9"), QStringLiteral("caf\u00e9")};
    QCOMPARE(AskNewPassword(prompts, {}, true, TextCodec("windows-1252")),
             PasswordDigest("caf\xe9"));
    QCOMPARE(prompts.shown, (QStringList{QStringLiteral("text: Enter Password / Password"),
                                         QStringLiteral("text: Confirm Password / Password")}));
}

QTEST_GUILESS_MAIN(TestPasswordEntry)
#include "tst_passwordentry.moc"
