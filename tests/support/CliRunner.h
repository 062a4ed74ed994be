#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

// One run of the built quilmora-config, as a script sees it.
struct CliRun
{
    int status = -1; // the exit status; -1 when the program crashed or did not finish in time
    QByteArray out;
    QByteArray err;
};

// Runs quilmora-config with `args` in `workingDir` (empty: the test's own) and waits for
// it. QUILMORA_HOME is removed from the environment, so the folder comes only from the
// arguments or the working folder; `env` then sets variables of its own (it may set
// QUILMORA_HOME again).
CliRun runCli(const QStringList &args, const QString &workingDir = {},
              const QHash<QString, QString> &env = {});
