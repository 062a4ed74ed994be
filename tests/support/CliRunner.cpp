#include "CliRunner.h"

#include <QProcess>
#include <QProcessEnvironment>

namespace {

constexpr int TimeoutMs = 60000;

} // namespace

CliRun runCli(const QStringList &args, const QString &workingDir, const QHash<QString, QString> &env)
{
    QProcess process;
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("QUILMORA_HOME"));
    for (auto it = env.cbegin(); it != env.cend(); ++it)
        environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUILMORA_CLI_PATH), args);

    CliRun run;
    const bool finished = process.waitForFinished(TimeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    if (finished && process.exitStatus() == QProcess::NormalExit)
        run.status = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}
