// The editor as a whole process, up to its connection dialog: with the time stamps turned on
// it reaches the dialog's first paint and says so in the form the start-up benchmark reads,
// stage by stage in order, and without them it says nothing on standard error.
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestStartupTrace : public QObject
{
    Q_OBJECT

private slots:
    void stagesUpToTheDialog_data();
    void stagesUpToTheDialog();
};

void TestStartupTrace::stagesUpToTheDialog_data()
{
    QTest::addColumn<QString>("trace");
    QTest::addColumn<bool>("stamps");
    QTest::newRow("on") << QStringLiteral("1") << true;
    QTest::newRow("off") << QString() << false;
    QTest::newRow("another value is off") << QStringLiteral("yes") << false;
}

void TestStartupTrace::stagesUpToTheDialog()
{
    QFETCH(QString, trace);
    QFETCH(bool, stamps);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUILMORA_REGISTRY_DIR"), dir.filePath(QStringLiteral("registry")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    if (trace.isNull())
        env.remove(QStringLiteral("QUILMORA_STARTUP_TRACE"));
    else
        env.insert(QStringLiteral("QUILMORA_STARTUP_TRACE"), trace);

    QProcess editor;
    editor.setProcessEnvironment(env);
    editor.start(QStringLiteral(QUILMORA_EDITOR_PATH), {QStringLiteral("--folder"), dir.path()});
    QVERIFY(editor.waitForStarted());
    QByteArray err;
    if (stamps) {
        // Up to the dialog's first paint, then the dialog waits for the user.
        QTRY_VERIFY_WITH_TIMEOUT((err += editor.readAllStandardError()).contains("startup-trace: dialog-painted "), 30000);
    } else {
        // Without stamps there is nothing to wait for: the dialog stays open, silent.
        QVERIFY(!editor.waitForFinished(3000));
        err = editor.readAllStandardError();
    }
    editor.kill();
    editor.waitForFinished();

    const QRegularExpression line(QStringLiteral("^startup-trace: ([a-z-]+) (\\d+) mono=(\\d+) cpu=(\\d+) faults=(\\d+)$"));
    QStringList stages;
    qint64 lastMono = -1, lastFaults = -1;
    for (const QByteArray &raw : err.split('\n')) {
        if (!raw.startsWith("startup-trace:"))
            continue;
        const auto m = line.match(QString::fromLatin1(raw));
        QVERIFY2(m.hasMatch(), raw.constData());
        stages << m.captured(1);
        // The clock and the count of page faults only go forward.
        QVERIFY(m.captured(3).toLongLong() >= lastMono);
        QVERIFY(m.captured(5).toLongLong() >= lastFaults);
        lastMono = m.captured(3).toLongLong();
        lastFaults = m.captured(5).toLongLong();
    }
    if (stamps) {
        QVERIFY2(stages.size() >= 3, err.constData());
        QCOMPARE(stages.mid(0, 3),
                 (QStringList{QStringLiteral("main"), QStringLiteral("application"), QStringLiteral("dialog-painted")}));
        // The main window is built while the dialog waits; it may be stamped before the end.
        for (const QString &later : stages.mid(3))
            QCOMPARE(later, QStringLiteral("window-built"));
    } else
        QVERIFY2(stages.isEmpty(), err.constData());
}

QTEST_GUILESS_MAIN(TestStartupTrace)
#include "tst_startuptrace.moc"
