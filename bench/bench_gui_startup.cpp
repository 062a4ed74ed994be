// Start-up as a user feels it: the real quilmora-editor launched as a process under its own
// Xvfb, on 20,000 users, 20,000 groups and 500 accounts. The editor prints its own time
// stamps (QUILMORA_STARTUP_TRACE=1); this program presses Return in the connection dialog
// with xdotool once the dialog has painted, and prints the median of each phase beside the
// same phases on a small configuration (the baseline).
//   bench_gui_startup [--runs N] [--editor PATH] [--return-after MS]
//   (--return-after: Return is pressed that long after the dialog's first paint, as a user
//   who reads it first would; by default at once)
//   bench_gui_startup --write-config DIR   (writes the large file into DIR, for profiling)
#include "BenchUtil.h"
#include "ConfigGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

qint64 monoNowMs()
{
    QElapsedTimer t;
    t.start();
    return t.msecsSinceReference();
}

bool run(const QString &program, const QStringList &args, const QProcessEnvironment &env, QByteArray *out = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return false;
    if (out)
        *out = p.readAllStandardOutput();
    return true;
}

// One launch: the stages' monotonic times by name, plus "launch" and "return-sent".
QMap<QByteArray, qint64> launchOnce(const QString &editor, const QString &folder, const QProcessEnvironment &env,
                                   int returnAfterMs)
{
    QMap<QByteArray, qint64> at;
    QProcess p;
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::SeparateChannels);
    at["launch"] = monoNowMs();
    p.start(editor, {QStringLiteral("--folder"), folder});
    QByteArray pending;
    // Reads stderr until the stage appears (false after 60 s or when the editor ends).
    auto waitFor = [&](const QByteArray &stage) {
        QElapsedTimer limit;
        limit.start();
        while (!at.contains(stage)) {
            qsizetype nl;
            while ((nl = pending.indexOf('\n')) >= 0) {
                const QByteArray line = pending.left(nl);
                pending.remove(0, nl + 1);
                const QList<QByteArray> f = line.split(' ');
                if (f.size() >= 4 && f[0] == "startup-trace:" && f[3].startsWith("mono=") && !at.contains(f[1])) {
                    at[f[1]] = f[3].mid(5).toLongLong();
                    if (f.size() >= 5 && f[4].startsWith("cpu="))
                        at["cpu:" + f[1]] = f[4].mid(4).toLongLong();
                    if (f.size() >= 6 && f[5].startsWith("faults="))
                        at["faults:" + f[1]] = f[5].mid(7).toLongLong();
                }
            }
            if (at.contains(stage))
                break;
            if (limit.elapsed() > 60000 || p.state() == QProcess::NotRunning)
                return false;
            p.waitForReadyRead(100);
            pending += p.readAllStandardError();
        }
        return true;
    };
    bool ok = waitFor("dialog-painted");
    if (ok && returnAfterMs > 0) {
        QElapsedTimer reading;
        reading.start();
        while (reading.elapsed() < returnAfterMs && p.state() != QProcess::NotRunning)
            p.waitForReadyRead(int(std::max<qint64>(1, returnAfterMs - reading.elapsed())));
        pending += p.readAllStandardError();
    }
    if (ok) {
        QByteArray ids;
        ok = run(QStringLiteral("xdotool"),
                 {QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                  QStringLiteral("--pid"), QString::number(p.processId())},
                 env, &ids);
        const QByteArray id = ids.trimmed().split('\n').value(0);
        ok = ok && !id.isEmpty() &&
             run(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"), QString::fromLatin1(id)}, env);
        at["return-sent"] = monoNowMs();
        ok = ok && run(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")}, env);
    }
    ok = ok && waitFor("window-painted");
    p.terminate();
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished();
    }
    if (!ok) {
        std::fprintf(stderr, "the editor did not reach its main window; its messages:\n%s\n",
                     (pending + p.readAllStandardError()).constData());
        return {};
    }
    return at;
}

struct Phase
{
    const char *what;
    QByteArray from, to;
    // The stages whose processor-time stamps bound the same work ("" where the process has
    // none: its launch counts as 0, a key press sent from outside has no stamp).
    QByteArray cpuFrom, cpuTo;
};

// The main window is built while the connection dialog waits for the user, after the
// dialog's first paint; a Return pressed meanwhile waits for the build to end.
const Phase phases[] = {
    {"launch -> connection dialog painted", "launch", "dialog-painted", "launch", "dialog-painted"},
    {"  of which: launch -> main() entered", "launch", "main", "launch", "main"},
    {"  of which: main() -> QApplication made", "main", "application", "main", "application"},
    {"  of which: QApplication -> dialog painted", "application", "dialog-painted", "application", "dialog-painted"},
    {"dialog painted -> main window built (dialog waiting)", "dialog-painted", "window-built", "dialog-painted",
     "window-built"},
    {"Return pressed -> dialog accepted", "return-sent", "dialog-accepted", "", ""},
    {"dialog accepted -> configuration loaded", "dialog-accepted", "config-loaded", "dialog-accepted", "config-loaded"},
    {"configuration loaded -> tree filled", "config-loaded", "tree-filled", "config-loaded", "tree-filled"},
    {"tree filled -> main window painted", "tree-filled", "window-painted", "tree-filled", "window-painted"},
    {"Return pressed -> main window painted", "return-sent", "window-painted", "dialog-accepted", "window-painted"},
};

struct Medians
{
    std::vector<double> wall, cpu, faults;
};

double median(std::vector<double> t)
{
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

Medians medians(const QString &editor, const QString &folder, const QProcessEnvironment &env, int runs,
                int returnAfterMs)
{
    std::vector<std::vector<double>> wall(std::size(phases)), cpu(std::size(phases)), faults(std::size(phases));
    for (int r = 0; r < runs; ++r) {
        auto at = launchOnce(editor, folder, env, returnAfterMs);
        if (at.isEmpty())
            return {};
        at["cpu:launch"] = 0;
        at["faults:launch"] = 0;
        for (size_t i = 0; i < std::size(phases); ++i) {
            wall[i].push_back(double(at.value(phases[i].to) - at.value(phases[i].from)));
            const QByteArray a = "cpu:" + phases[i].cpuFrom, b = "cpu:" + phases[i].cpuTo;
            cpu[i].push_back(at.contains(a) && at.contains(b) ? double(at.value(b) - at.value(a)) : -1);
            const QByteArray fa = "faults:" + phases[i].cpuFrom, fb = "faults:" + phases[i].cpuTo;
            faults[i].push_back(at.contains(fa) && at.contains(fb) ? double(at.value(fb) - at.value(fa)) : -1);
        }
    }
    Medians m;
    for (size_t i = 0; i < std::size(phases); ++i) {
        m.wall.push_back(median(wall[i]));
        m.cpu.push_back(median(cpu[i]));
        m.faults.push_back(median(faults[i]));
    }
    return m;
}

bool writeConfig(const QString &folder, const ConfigGenerator::Size &size)
{
    QFile f(folder + QStringLiteral("/quilmora.ini"));
    return f.open(QIODevice::WriteOnly) && f.write(ConfigGenerator::generate(size)) >= 0 && f.flush();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    int runs = 5;
    int returnAfterMs = 0;
    QString editor, writeOnly;
#ifdef QUILMORA_EDITOR_PATH
    editor = QStringLiteral(QUILMORA_EDITOR_PATH);
#endif
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == QStringLiteral("--runs"))
            runs = std::max(1, args.at(++i).toInt());
        else if (args.at(i) == QStringLiteral("--editor"))
            editor = args.at(++i);
        else if (args.at(i) == QStringLiteral("--return-after"))
            returnAfterMs = std::max(0, args.at(++i).toInt());
        else if (args.at(i) == QStringLiteral("--write-config"))
            writeOnly = args.at(++i);
    }
    if (editor.isEmpty() && writeOnly.isEmpty()) {
        std::fprintf(stderr, "bench_gui_startup: no editor (--editor PATH)\n");
        return 1;
    }

    ConfigGenerator::Size size;
    size.users = 20000;
    size.groups = 20000;
    size.usersPerGroup = 20;
    size.pops = 500;
    if (!writeOnly.isEmpty())
        return QDir().mkpath(writeOnly) && writeConfig(writeOnly, size) ? 0 : 1;

    QTemporaryDir dir;
    const QString big = dir.filePath(QStringLiteral("big")), small = dir.filePath(QStringLiteral("small"));
    QDir().mkpath(big);
    QDir().mkpath(small);
    ConfigGenerator::Size tiny;
    tiny.users = 10;
    tiny.groups = 10;
    tiny.usersPerGroup = 5;
    tiny.pops = 5;
    if (!writeConfig(big, size) || !writeConfig(small, tiny)) {
        std::fprintf(stderr, "bench_gui_startup: cannot write the configurations\n");
        return 1;
    }

    // An X server of our own; it names its display on the descriptor -displayfd gives it.
    QProcess xvfb;
    xvfb.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                        QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
                                        QStringLiteral("tcp")});
    QByteArray display;
    while (!display.contains('\n') && xvfb.waitForReadyRead(10000))
        display += xvfb.readAllStandardOutput();
    if (display.trimmed().isEmpty()) {
        std::fprintf(stderr, "bench_gui_startup: Xvfb did not start\n");
        return 1;
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display.trimmed()));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.insert(QStringLiteral("QUILMORA_STARTUP_TRACE"), QStringLiteral("1"));
    // The connection dialog starts from its defaults (local mode), whatever this machine remembers.
    env.insert(QStringLiteral("QUILMORA_REGISTRY_DIR"), dir.filePath(QStringLiteral("registry")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));

    const auto base = medians(editor, small, env, runs, returnAfterMs);
    const auto m = base.wall.empty() ? base : medians(editor, big, env, runs, returnAfterMs);
    xvfb.terminate();
    xvfb.waitForFinished();
    if (m.wall.empty())
        return 1;
    std::printf("quilmora-editor start-up as a process, 20,000 users + 20,000 groups + 500 accounts,\n"
                "median of %d launches; baseline: the same on 10 users, 10 groups, 5 accounts;\n"
                "Return pressed %d ms after the dialog's first paint\n",
                runs, returnAfterMs);
    for (size_t i = 0; i < std::size(phases); ++i)
        BenchUtil::row(phases[i].what, m.wall[i], base.wall[i]);
    // Processor time of the editor's window thread over the same phases: on a busy machine
    // the wall times above include waiting for a processor, these do not.
    std::printf("\nprocessor time of the editor's window thread over the same phases (median ms; large file, small file)\n");
    for (size_t i = 0; i < std::size(phases); ++i) {
        if (m.cpu[i] >= 0)
            std::printf("%-58s %6.0f ms  %6.0f ms%s\n", phases[i].what, m.cpu[i], base.cpu[i],
                        phases[i].from == "return-sent" ? "   (from dialog accepted)" : "");
    }
    // Its page faults: where each costs tens of microseconds (some virtual machines), they
    // are much of the processor time above.
    std::printf("\npage faults of the editor's window thread over the same phases (median; large file, small file)\n");
    for (size_t i = 0; i < std::size(phases); ++i) {
        if (m.faults[i] >= 0)
            std::printf("%-58s %6.0f     %6.0f%s\n", phases[i].what, m.faults[i], base.faults[i],
                        phases[i].from == "return-sent" ? "      (from dialog accepted)" : "");
    }
    return 0;
}
