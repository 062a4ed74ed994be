// Where the editor and quilmora-config look for the server's folder.
#include "platform/ProgramFolder.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestProgramFolder : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_tmp;
    QString m_program; // the editor's own folder
    QString m_system;  // stands in for /var/lib/quilmora

    QString sub(const char *name) const { return QDir(m_tmp.path()).filePath(QString::fromLatin1(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_program = sub("bin");
        m_system = sub("var-lib-quilmora");
    }
    void init()
    {
        QDir(m_program).removeRecursively();
        QDir(m_system).removeRecursively();
        QVERIFY(QDir().mkpath(m_program));
        qunsetenv("QUILMORA_HOME");
    }
    void cleanup() { qunsetenv("QUILMORA_HOME"); }

    // Each row: what exists, what is given, and the folder the editor takes.
    void editorFolder_data()
    {
        QTest::addColumn<bool>("iniBesideProgram");
        QTest::addColumn<bool>("systemFolderExists");
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("expected");
        const QString given = sub("given");
        const QString home = sub("home");
        QTest::newRow("--folder wins") << true << true << given << home << given;
        QTest::newRow("then QUILMORA_HOME") << true << true << QString() << home << home;
        QTest::newRow("then the program's folder with its quilmora.ini") << true << true << QString() << QString() << m_program;
        QTest::newRow("then /var/lib/quilmora") << false << true << QString() << QString() << m_system;
        QTest::newRow("else the program's folder") << false << false << QString() << QString() << m_program;
    }
    void editorFolder()
    {
        QFETCH(bool, iniBesideProgram);
        QFETCH(bool, systemFolderExists);
        QFETCH(QString, option);
        QFETCH(QString, home);
        QFETCH(QString, expected);
        if (iniBesideProgram)
            QVERIFY(TestFiles::write(QDir(m_program).filePath(QStringLiteral("quilmora.ini")), "[SERVER]\r\n"));
        if (systemFolderExists)
            QVERIFY(QDir().mkpath(m_system));
        if (!home.isEmpty())
            qputenv("QUILMORA_HOME", home.toLocal8Bit());
        QCOMPARE(ProgramFolder::resolveEditor(option, m_program, m_system), expected);
    }

    // A quilmora.ini that is a folder is no configuration; an empty QUILMORA_HOME counts as unset.
    void editorFolderEdges()
    {
        QVERIFY(QDir().mkpath(QDir(m_program).filePath(QStringLiteral("quilmora.ini"))));
        QVERIFY(QDir().mkpath(m_system));
        qputenv("QUILMORA_HOME", "");
        QCOMPARE(ProgramFolder::resolveEditor({}, m_program, m_system), m_system);
        // A relative --folder is taken from the current folder.
        QCOMPARE(ProgramFolder::resolveEditor(QStringLiteral("rel"), m_program, m_system),
                 QDir::current().absoluteFilePath(QStringLiteral("rel")));
    }

    // The command-line tool keeps its rule: the current folder, never /var/lib/quilmora.
    void commandLineRule()
    {
        QVERIFY(QDir().mkpath(m_system));
        QCOMPARE(ProgramFolder::resolve({}, m_program), m_program);
        qputenv("QUILMORA_HOME", m_system.toLocal8Bit());
        QCOMPARE(ProgramFolder::resolve({}, m_program), m_system);
    }
};

QTEST_GUILESS_MAIN(TestProgramFolder)
#include "tst_programfolder.moc"
