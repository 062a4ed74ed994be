// The cost of the history of saves on a large configuration (3.2 MB, the load + save
// benchmark's size N):
// - a save with history against the same save without (QUILMORA_HISTORY=off), in process
//   (ConfigDocument::saveBytes of a one-key edit) and as the whole `quilmora-config set`;
// - the size of history.git after 1,000 saves of one-key edits;
// - `history` listing those 1,000 versions, in process and as the whole command.
//
// Usage: bench_history [--saves N]   (N: the saves of the size run, 1000 unless given)
#include "BenchUtil.h"
#include "ConfigGenerator.h"

#include "config/ConfigDocument.h"
#include "config/History.h"
#include "config/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <sys/stat.h>

namespace {

struct Sizes
{
    qint64 bytes = 0;
    qint64 disk = 0; // allocated blocks, as du counts
    int files = 0;
};

Sizes sizeOf(const QString &dir)
{
    Sizes s;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString f = it.next();
        struct stat st {};
        if (::stat(QFile::encodeName(f).constData(), &st) == 0) {
            s.bytes += st.st_size;
            s.disk += qint64(st.st_blocks) * 512;
            ++s.files;
        }
    }
    return s;
}

void setHistory(bool on)
{
    qputenv("QUILMORA_HISTORY", on ? "on" : "off");
}

// One save of a one-key edit: the n-th user's description.
struct Saver
{
    QString path;
    ConfigDocument doc;
    int n = 0;

    void save()
    {
        auto &user = doc.users[size_t(n % int(doc.users.size()))];
        user->Description = "edited " + QByteArray::number(n++);
        QString error;
        if (!ConfigDocument::saveBytes(path, doc.render(), &error))
            std::fprintf(stderr, "%s\n", qPrintable(error));
    }
};

double runCli(const QStringList &args, bool history)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILMORA_HISTORY"), history ? QStringLiteral("on") : QStringLiteral("off"));
    p.setProcessEnvironment(env);
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral(QUILMORA_CLI_PATH), args);
    p.waitForFinished(-1);
    const double ms = double(t.nsecsElapsed()) / 1e6;
    if (p.exitCode() != 0)
        std::fprintf(stderr, "%s\n", p.readAllStandardError().constData());
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    History::setProgram(QStringLiteral("bench_history"));
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf(QStringLiteral("--saves"));
    const int manySaves = at > 0 && at + 1 < args.size() ? args[at + 1].toInt() : 1000;

    const QByteArray bytes = ConfigGenerator::generate(ConfigGenerator::scaled(1));
    std::printf("configuration: %.2f MB\n\n", double(bytes.size()) / (1 << 20));

    QTemporaryDir without, with;
    Saver plain, kept;
    for (auto [dir, saver] : {std::pair{&without, &plain}, std::pair{&with, &kept}}) {
        saver->path = dir->filePath(QStringLiteral("quilmora.ini"));
        QFile f(saver->path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        QString error;
        saver->doc.load(saver->path, TextCodec(), &error);
    }

    // In process, in turns; the first save with history also records the file it replaced.
    setHistory(true);
    kept.save();
    constexpr int Runs = 60;
    std::vector<double> a, b;
    // CPU time beside wall time: on a machine whose disk is busy, a wall time is mostly
    // waiting for the syncs (the save's own, and the history's pack and index).
    std::vector<double> cpuA, cpuB;
    const auto cpuMs = [] {
        timespec t {};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
    };
    for (int i = 0; i < Runs; ++i) {
        setHistory(false);
        double c0 = cpuMs();
        a.push_back(BenchUtil::medianMs(1, [&] { plain.save(); }));
        cpuA.push_back(cpuMs() - c0);
        setHistory(true);
        c0 = cpuMs();
        b.push_back(BenchUtil::medianMs(1, [&] { kept.save(); }));
        cpuB.push_back(cpuMs() - c0);
    }
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const auto mean = [](const std::vector<double> &v) {
        double s = 0;
        for (double x : v)
            s += x;
        return s / double(v.size());
    };
    std::printf("In process, a one-key edit saved (%d saves each, in turns):\n", Runs);
    BenchUtil::row("save without history, median", median(a), median(a));
    BenchUtil::row("save with history, median", median(b), median(a));
    BenchUtil::row("save without history, mean", mean(a), mean(a));
    BenchUtil::row("save with history, mean (whole copies included)", mean(b), mean(a));
    BenchUtil::row("save without history, CPU time, median", median(cpuA), median(cpuA));
    BenchUtil::row("save with history, CPU time, median", median(cpuB), median(cpuA));

    // The whole command, in turns.
    std::vector<double> ca, cb;
    for (int i = 0; i < 15; ++i) {
        ca.push_back(runCli({QStringLiteral("--folder"), without.path(), QStringLiteral("set"),
                             QStringLiteral("user:#3.Description"), QStringLiteral("cli %1").arg(i)},
                            false));
        cb.push_back(runCli({QStringLiteral("--folder"), with.path(), QStringLiteral("set"),
                             QStringLiteral("user:#3.Description"), QStringLiteral("cli %1").arg(i)},
                            true));
    }
    std::printf("\nquilmora-config set, whole process (15 each, in turns):\n");
    BenchUtil::row("set without history, median", median(ca), median(ca));
    BenchUtil::row("set with history, median", median(cb), median(ca));

    // Size after many saves. The in-process document was saved over by `set`: reload.
    {
        QString error;
        kept.doc.load(kept.path, TextCodec(), &error);
    }
    setHistory(true);
    QElapsedTimer total;
    total.start();
    const int already = int(1 + Runs + 15);
    for (int i = already; i < manySaves; ++i)
        kept.save();
    const double allMs = double(total.nsecsElapsed()) / 1e6;
    const Sizes s = sizeOf(History::repositoryPath(with.path()));
    std::printf("\n%d saves of one-key edits (the last %d in %.0f ms, %.1f ms a save):\n", manySaves,
                manySaves - already, allMs, allMs / std::max(1, manySaves - already));
    std::printf("  history.git: %.1f MB in %d files (%.1f MB on disk), %.2fx the configuration\n",
                double(s.bytes) / (1 << 20), s.files, double(s.disk) / (1 << 20), double(s.disk) / double(bytes.size()));

    // Listing the versions.
    History::Repository repo;
    QString error;
    int count = 0;
    const double listMs = BenchUtil::medianMs(5, [&] {
        History::Repository r;
        QList<History::Version> versions;
        if (!r.open(with.path(), QStringLiteral("quilmora.ini"), &error) || !r.versions(&versions, -1, &error))
            std::fprintf(stderr, "%s\n", qPrintable(error));
        count = int(versions.size());
    });
    std::vector<double> lt, vt;
    for (int i = 0; i < 5; ++i) {
        vt.push_back(runCli({QStringLiteral("--version")}, true));
        lt.push_back(runCli({QStringLiteral("--folder"), with.path(), QStringLiteral("history")}, true));
    }
    std::printf("\nhistory of %d versions:\n", count);
    BenchUtil::row("in process (open + list), median", listMs, 200.0);
    BenchUtil::row("quilmora-config history, whole process, median", median(lt), 200.0);
    BenchUtil::row("(quilmora-config --version, for scale)", median(vt), 200.0);
    std::printf("(baseline of the last three rows: the 200 ms allowed)\n");
    return 0;
}
