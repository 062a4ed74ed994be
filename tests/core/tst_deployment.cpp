// Where the services live and where the editor's own documents are found.
#include "platform/ProgramFolder.h"
#include "services/Deployment.h"
#include "support/TestFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestDeployment : public QObject
{
    Q_OBJECT

private slots:
    void defaultsAndOverrides()
    {
        for (const char *v : {"QUILMORA_HOME_PAGE", "QUILMORA_VERSION_HOST", "QUILMORA_VERSION_PORT", "QUILMORA_SUPPORT_HOST",
                              "QUILMORA_SUPPORT_PORT", "QUILMORA_SUPPORT_MAILBOX", "QUILMORA_NOTIFY_SMTP_HOST"})
            qunsetenv(v);
        for (const QString &host : {Deployment::homePage(), Deployment::versionHost(), Deployment::supportHost(),
                                    Deployment::supportMailbox(), Deployment::notifySmtpHost()})
            QVERIFY2(host.contains(QLatin1String(".example")), qPrintable(host));
        QCOMPARE(Deployment::versionPort(), quint16(10920));
        QCOMPARE(Deployment::supportPort(), quint16(8900));

        qputenv("QUILMORA_SUPPORT_HOST", "127.0.0.1");
        qputenv("QUILMORA_SUPPORT_PORT", "2525");
        qputenv("QUILMORA_VERSION_PORT", "70000"); // no port: the default stays
        QCOMPARE(Deployment::supportHost(), QStringLiteral("127.0.0.1"));
        QCOMPARE(Deployment::supportPort(), quint16(2525));
        QCOMPARE(Deployment::versionPort(), quint16(10920));
    }

    // The program's (server's) folder first, then the executable's folder; a document that
    // is nowhere is named in the program's folder.
    void documentLookup()
    {
        QTemporaryDir server;
        const QString name = QStringLiteral("quilmora-lookup-%1.txt").arg(QCoreApplication::applicationPid());
        const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(name);
        QCOMPARE(ProgramFolder::findDocument(server.path(), name), server.filePath(name));
        QVERIFY(TestFiles::write(beside, "beside"));
        QCOMPARE(ProgramFolder::findDocument(server.path(), name), beside);
        QVERIFY(TestFiles::write(server.filePath(name), "server"));
        QCOMPARE(ProgramFolder::findDocument(server.path(), name), server.filePath(name));
        QFile::remove(beside);
    }
};

QTEST_GUILESS_MAIN(TestDeployment)
#include "tst_deployment.moc"
