// Load + save of a large configuration, at sizes N and 2N, beside its baselines measured in
// the same run:
//  - whole processes: `quilmora-config normalize` against a Python configparser read and
//    write of the same file (the interpreter itself, not a wrapper that adds its own
//    start-up), and `quilmora-config --version` for the program's own start; wall time
//    and peak memory of each;
//  - in-process: ConfigDocument load + save against a raw read + atomic write of the
//    same bytes.
// Usage: bench_config_loadsave [--write FILE [--scale K | --readers]]
// (--readers: the large file of the commands that read, 20,000 users and 20,000 groups)
// QUILMORA_CONFIG names the quilmora-config to run (default: the one of this build).
#include "BenchUtil.h"
#include "ConfigGenerator.h"
#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <cstring>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace {

// configparser reads the file and writes it back: the yardstick of an interpreted script.
constexpr char kPythonReadWrite[] = R"(import configparser, sys
c = configparser.RawConfigParser(strict=False, interpolation=None)
c.optionxform = str
c.read(sys.argv[1], encoding='latin-1')
with open(sys.argv[2], 'w', encoding='latin-1', newline='\r\n') as f:
    c.write(f, space_around_delimiters=False)
)";

struct Run
{
    double ms = 0;
    double peakMb = 0;
    bool ok = false;
};

// The measuring helper: this program started again as `--measure COMMAND...`. It runs the
// command to its end with its output thrown away and prints the wall time in ms and the
// peak memory in KiB. A child's peak counts the memory of the process it was forked from,
// so the command is forked from this small process, not from the benchmark, which holds
// the generated files.
int measureChild(char **command)
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(command[0], command);
        _exit(127);
    }
    int status = 0;
    struct rusage usage = {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return 1;
    std::printf("%.3f %ld\n", double(timer.nsecsElapsed()) / 1e6, usage.ru_maxrss);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}

// Runs a program to its end through the measuring helper: wall time and peak memory.
Run runProcess(const QStringList &command)
{
    QProcess helper;
    helper.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--measure")} + command);
    Run run;
    if (!helper.waitForFinished(600000))
        return run;
    const QList<QByteArray> figures = helper.readAllStandardOutput().simplified().split(' ');
    if (figures.size() != 2)
        return run;
    run.ms = figures[0].toDouble();
    run.peakMb = figures[1].toDouble() / 1024.0;
    run.ok = helper.exitStatus() == QProcess::NormalExit && helper.exitCode() == 0;
    return run;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Figures
{
    double megabytes = 0;
    double mebibytes = 0; // for the memory ratios: peaks are in MiB
    double raw = 0;        // in-process floor
    double loadSave = 0;   // in-process
    double process = 0;    // normalize, whole process
    double processPeak = 0;
    double python = 0;     // 0: not measured
    double pythonPeak = 0;
};

Figures measure(const QString &dir, int factor, const QString &tool, const QString &python, int runs)
{
    const QByteArray bytes = ConfigGenerator::generate(ConfigGenerator::scaled(factor));
    const QString source = dir + QStringLiteral("/quilmora.ini");
    const QString target = dir + QStringLiteral("/saved.ini");
    const QString rawTarget = dir + QStringLiteral("/raw.ini");
    const QString work = QStringLiteral("work.ini");
    for (const QString &name : {source, dir + QLatin1Char('/') + work}) {
        QFile f(name);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    Figures fig;
    fig.megabytes = bytes.size() / 1e6;
    fig.mebibytes = bytes.size() / 1048576.0;

    const TextCodec codec;
    std::tie(fig.raw, fig.loadSave) = BenchUtil::pairedMs(
        runs,
        [&] {
            QFile in(source);
            in.open(QIODevice::ReadOnly);
            // The save's own way of replacing a file (atomic, with the backup): the floor.
            if (!ConfigDocument::saveBytes(rawTarget, in.readAll(), nullptr))
                qFatal("raw write failed");
        },
        [&] {
            ConfigDocument doc;
            QString error;
            if (!doc.load(source, codec, &error) || !doc.save(target, &error))
                qFatal("load/save failed");
        });
    QFile saved(target);
    saved.open(QIODevice::ReadOnly);
    if (saved.readAll() != bytes)
        qFatal("the saved file differs from the loaded one");

    // Whole processes in turns, so that a busy machine slows both alike.
    const QStringList normalize{tool, QStringLiteral("--folder"), dir, QStringLiteral("--file"), work,
                                QStringLiteral("normalize")};
    const QStringList script{python, QStringLiteral("-c"), QString::fromLatin1(kPythonReadWrite), source,
                             dir + QStringLiteral("/python.ini")};
    std::vector<double> ms, peak, pyMs, pyPeak;
    for (int i = 0; i < runs; ++i) {
        const Run r = runProcess(normalize);
        if (!r.ok)
            qFatal("quilmora-config normalize failed");
        ms.push_back(r.ms);
        peak.push_back(r.peakMb);
        if (!python.isEmpty()) {
            const Run p = runProcess(script);
            if (!p.ok)
                qFatal("the Python baseline failed");
            pyMs.push_back(p.ms);
            pyPeak.push_back(p.peakMb);
        }
    }
    QFile normalized(dir + QLatin1Char('/') + work);
    normalized.open(QIODevice::ReadOnly);
    if (normalized.readAll() != bytes)
        qFatal("normalize changed the file");
    fig.process = median(ms);
    fig.processPeak = median(peak);
    fig.python = median(pyMs);
    fig.pythonPeak = median(pyPeak);
    return fig;
}

// The interpreter behind `python3`, so that a version manager's wrapper script and its
// start-up are not measured with it.
QString pythonInterpreter()
{
    const QString found = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (found.isEmpty())
        return {};
    QProcess p;
    p.start(found, {QStringLiteral("-c"), QStringLiteral("import sys; print(sys.executable)")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    const QString exe = QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    return QFileInfo(exe).isExecutable() ? exe : QString();
}

// quilmora-config's check and apply beside normalize on the same file, each run as the
// command a script would run. Both are to stay within 2x of normalize.
void measureAdminCommands(const QString &dir)
{
    const QString folder = dir + QStringLiteral("/admin");
    QDir().mkpath(folder);
    {
        QFile f(folder + QStringLiteral("/quilmora.ini"));
        f.open(QIODevice::WriteOnly);
        f.write(ConfigGenerator::generate(ConfigGenerator::scaled(1)));
    }
    auto run = [&folder](const QStringList &args, QByteArray *out = nullptr) {
        QProcess p;
        p.start(QStringLiteral(QUILMORA_CLI_PATH), QStringList{QStringLiteral("--folder"), folder} + args);
        if (!p.waitForFinished(120000) || p.exitCode() != 0)
            qFatal("quilmora-config %s failed", qPrintable(args.join(QLatin1Char(' '))));
        if (out)
            *out = p.readAllStandardOutput();
    };
    run({QStringLiteral("normalize")});
    QByteArray dump;
    run({QStringLiteral("dump")}, &dump);
    const QString json = dir + QStringLiteral("/dump.json");
    {
        QFile f(json);
        f.open(QIODevice::WriteOnly);
        f.write(dump);
    }
    const auto normalize = [&] { run({QStringLiteral("normalize")}); };
    const auto [n1, check] = BenchUtil::pairedMs(7, normalize, [&] { run({QStringLiteral("check")}); });
    const auto [n2, apply] = BenchUtil::pairedMs(7, normalize, [&] { run({QStringLiteral("apply"), json}); });
    std::printf("quilmora-config on the same file (N), whole commands\n");
    std::printf("  %-44s %9.2f ms\n", "normalize", (n1 + n2) / 2);
    std::printf("  %-44s %9.2f ms\n", "check", check);
    std::printf("  %-44s %9.2f ms\n", "apply (dump of the file)", apply);
    std::printf("  %-44s %9.2f (within 2)\n", "check / normalize", check / n1);
    std::printf("  %-44s %9.2f (within 2)\n", "apply / normalize", apply / n2);
}

// The commands that only read, on the large file of a big site (20,000 users, 20,000
// groups each admitting one user, no accounts: 5.7 MB): `get server.Name` needs the SERVER
// section alone, `dump` prints everything. Whole processes, medians, beside the program's
// own start.
ConfigGenerator::Size readersSize()
{
    ConfigGenerator::Size size;
    size.users = 20000;
    size.groups = 20000;
    size.usersPerGroup = 1;
    size.pops = 0;
    return size;
}

void measureReaders(const QString &dir, const QString &tool, int runs, double startMs, double idlePeak)
{
    const QByteArray bytes = ConfigGenerator::generate(readersSize());
    const QString folder = dir + QStringLiteral("/readers");
    QDir().mkpath(folder);
    {
        QFile f(folder + QStringLiteral("/quilmora.ini"));
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    const double mib = bytes.size() / 1048576.0;
    std::printf("Commands that read, 20,000 users + 20,000 groups (%.1f MB), whole processes, median of %d\n",
                bytes.size() / 1e6, runs);
    const struct
    {
        const char *label;
        QStringList args;
        double goalMs;
    } cases[] = {
        {"get server.Name", {QStringLiteral("get"), QStringLiteral("server.Name")}, 40},
        {"get user:reader5.Description", {QStringLiteral("get"), QStringLiteral("user:reader5.Description")}, 0},
        {"dump", {QStringLiteral("dump")}, 100},
        {"check", {QStringLiteral("check")}, 0},
    };
    for (const auto &c : cases) {
        std::vector<double> ms, peak;
        for (int i = 0; i < runs; ++i) {
            const Run r = runProcess(QStringList{tool, QStringLiteral("--folder"), folder} + c.args);
            if (!r.ok && c.args.first() != QLatin1String("check"))
                qFatal("quilmora-config %s failed", c.label);
            ms.push_back(r.ms);
            peak.push_back(r.peakMb);
        }
        const double m = median(ms);
        const double p = median(peak);
        std::printf("  %-34s %8.1f ms (%5.1f ms above start-up)", c.label, m, m - startMs);
        if (c.goalMs > 0)
            std::printf(" goal: within %.0f ms", c.goalMs);
        std::printf("\n  %-34s peak %5.1f MiB = %4.2fx the file above start-up (goal: within 3x)\n", "", p,
                    (p - idlePeak) / mib);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 2 && std::strcmp(argv[1], "--measure") == 0)
        return measureChild(argv + 2);
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype write = args.indexOf(QStringLiteral("--write"));
    if (write > 0 && write + 1 < args.size()) {
        const qsizetype scale = args.indexOf(QStringLiteral("--scale"));
        const int factor = scale > 0 && scale + 1 < args.size() ? args[scale + 1].toInt() : 1;
        QFile f(args[write + 1]);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(ConfigGenerator::generate(args.contains(QStringLiteral("--readers"))
                                              ? readersSize()
                                              : ConfigGenerator::scaled(std::max(1, factor))));
        return 0;
    }

    QString tool = qEnvironmentVariable("QUILMORA_CONFIG");
    if (tool.isEmpty())
        tool = QDir(app.applicationDirPath()).filePath(QStringLiteral("../src/quilmora-config"));
    tool = QFileInfo(tool).absoluteFilePath();
    if (!QFileInfo(tool).isExecutable()) {
        std::fprintf(stderr, "quilmora-config not found (%s); set QUILMORA_CONFIG\n", qPrintable(tool));
        return 1;
    }
    const QString python = pythonInterpreter();
    const int runs = qEnvironmentVariableIntValue("BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("BENCH_RUNS") : 7;

    QTemporaryDir dir;
    std::printf("Configuration load + save (5,000 users, 1,000 groups x 200 users, 500 accounts per N), "
                "median of %d runs\n",
                runs);
    if (python.isEmpty())
        std::printf(" (python3 not found: the configparser baseline is skipped)\n");
    std::vector<double> startMs, startPeak;
    for (int i = 0; i < runs; ++i) {
        const Run r = runProcess({tool, QStringLiteral("--version")});
        startMs.push_back(r.ms);
        startPeak.push_back(r.peakMb);
    }
    const double start = median(startMs);
    const double idlePeak = median(startPeak);
    std::printf(" quilmora-config --version (start-up alone): %.1f ms, peak %.1f MiB\n", start, idlePeak);

    QDir(dir.path()).mkdir(QStringLiteral("n"));
    QDir(dir.path()).mkdir(QStringLiteral("2n"));
    const QString dirN = dir.filePath(QStringLiteral("n"));
    const QString dir2N = dir.filePath(QStringLiteral("2n"));
    const Figures n = measure(dirN, 1, tool, python, runs);
    const Figures n2 = measure(dir2N, 2, tool, python, runs);

    // The sizes in turns for their ratio, so that a change in the machine's load between
    // the two measurements above does not show as a change in the ratio.
    const TextCodec codec;
    auto loadSave = [&codec](const QString &folder) {
        return [&codec, folder] {
            ConfigDocument doc;
            QString error;
            if (!doc.load(folder + QStringLiteral("/quilmora.ini"), codec, &error)
                || !doc.save(folder + QStringLiteral("/saved.ini"), &error))
                qFatal("load/save failed");
        };
    };
    const auto [inN, in2N] = BenchUtil::pairedMs(runs, loadSave(dirN), loadSave(dir2N));
    std::vector<double> procN, proc2N;
    for (int i = 0; i < runs; ++i) {
        for (const QString &folder : {dirN, dir2N}) {
            const Run r = runProcess({tool, QStringLiteral("--folder"), folder, QStringLiteral("--file"),
                                      QStringLiteral("work.ini"), QStringLiteral("normalize")});
            (folder == dirN ? procN : proc2N).push_back(r.ms);
        }
    }
    for (const auto &[label, f] : {std::pair{"N", n}, std::pair{"2N", n2}}) {
        std::printf(" size %s: %.1f MB\n", label, f.megabytes);
        std::printf("  whole process\n");
        std::printf("   %-44s %9.1f ms  peak %6.1f MiB = %4.1fx the file (%4.1fx above start-up; goal: within 3x)\n",
                    "quilmora-config normalize", f.process, f.processPeak, f.processPeak / f.mebibytes,
                    (f.processPeak - idlePeak) / f.mebibytes);
        if (f.python > 0) {
            std::printf("   %-44s %9.1f ms  peak %6.1f MiB\n", "python3 configparser read + write", f.python,
                        f.pythonPeak);
            std::printf("   %-44s %9.2fx (goal: at least 6x, aim 10x)\n", "configparser / normalize",
                        f.python / f.process);
        }
        std::printf("  in process\n");
        BenchUtil::throughputRow(" raw read + atomic write", f.raw, f.megabytes);
        BenchUtil::throughputRow(" load + save (document)", f.loadSave, f.megabytes);
        std::printf("   %-44s %9.2fx (goal: within 3x)\n", "load + save / raw", f.loadSave / f.raw);
    }
    std::printf(" ratio 2N / N of load + save, the sizes in turns: %.2f in process, %.2f whole process "
                "(linear: near 2; goal below 2.2)\n",
                in2N / inN, median(proc2N) / median(procN));
    measureAdminCommands(dir.path());
    measureReaders(dir.path(), tool, runs, start, idlePeak);
    return 0;
}
