// The archive purge on a large group: N lines in each of xover.dat, msgid.dat and
// outbound.dat, half of them expired, with duplicate keys. Prints the purge time beside
// the I/O floor (reading the three files and rewriting them atomically, unchanged) measured
// in the same run, and the ratio of time at 2N lines to time at N lines (near 2: linear).
//
//   bench_purge [N (default 1000000)] [runs (default 3)]
#include "BenchUtil.h"
#include "archive/MsgArchive.h"
#include "config/ConfigStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>

namespace {

struct Group
{
    std::array<QByteArray, 3> files; // xover, msgid, outbound
};

const std::array<const char *, 3> Names = {"xover.dat", "msgid.dat", "outbound.dat"};

// Even lines are dated 2003 (expired), odd ones 2025 (kept). In every 50 lines one repeats
// the key of the line before it (one line of the key expired) and one the key of the line
// two before it (both lines expired: the key stands twice in the expired list), in all three
// files.
Group makeGroup(qsizetype lines)
{
    Group g;
    g.files[0].reserve(lines * 110);
    g.files[1].reserve(lines * 40);
    g.files[2].reserve(lines * 24);
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    qsizetype next = 0;
    qsizetype twoBack = 0, oneBack = 0;
    for (qsizetype i = 0; i < lines; ++i) {
        qsizetype key = ++next;
        if (i % 50 == 49)
            key = oneBack;
        else if (i % 50 == 24)
            key = twoBack;
        twoBack = oneBack;
        oneBack = key;
        const QByteArray k = QByteArray::number(key);
        const bool expired = i % 2 == 0;
        const QByteArray date = QByteArray(days[i % 7]) + ", " + QByteArray::number(1 + i % 28)
            + (expired ? " Jun 2003 " : " Jun 2025 ") + QByteArray::number(10 + i % 14) + ":20:30 +0200";
        g.files[0] += k + "=Re: subject " + k + "\tsomeone@example.org\t" + date + "\t<" + k
            + "@mail.example.org>\t2048\t40\r\n";
        g.files[1] += k + "=<" + k + "@mail.example.org>\r\n";
        g.files[2] += k + "=KD-" + k + "\r\n";
    }
    return g;
}

void writeGroup(const QString &folder, const Group &g)
{
    for (size_t f = 0; f < 3; ++f) {
        QFile out(folder + QLatin1Char('/') + QLatin1String(Names[f]));
        if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(g.files[f]) != g.files[f].size())
            qFatal("cannot write the bench data");
    }
}

struct Figures
{
    double floorMs = 0;
    double purgeMs = 0;
    qsizetype removed = 0;
};

Figures measure(const QString &folder, qsizetype lines, int runs)
{
    const Group g = makeGroup(lines);
    const MsgArchive::DateTime cutOff = MsgArchive::cutOffBefore(QDate(2010, 1, 1));
    Figures fig;
    fig.floorMs = BenchUtil::bestMs(runs, [&] { writeGroup(folder, g); }, [&] {
        for (const char *name : Names) {
            const QString path = folder + QLatin1Char('/') + QLatin1String(name);
            QFile in(path);
            if (!in.open(QIODevice::ReadOnly))
                qFatal("cannot read the bench data");
            const QByteArray bytes = in.readAll();
            if (!writeFileAtomically(path, bytes))
                qFatal("cannot rewrite the bench data");
        }
    });
    fig.purgeMs = BenchUtil::bestMs(runs, [&] { writeGroup(folder, g); }, [&] {
        const MsgArchive::PurgeResult r = MsgArchive::PurgeGroup(folder, cutOff);
        if (!r.ok)
            qFatal("purge failed");
        fig.removed = r.removedXover;
    });
    return fig;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype n = args.size() > 1 ? args[1].toLongLong() : 1000000;
    const int runs = args.size() > 2 ? args[2].toInt() : 3;
    QTemporaryDir tmp;
    if (!tmp.isValid() || n <= 0 || runs <= 0)
        qFatal("usage: bench_purge [N] [runs]");

    BenchUtil::print(QStringLiteral("purge of a group, lines per index file, best of %1 runs").arg(runs));
    BenchUtil::print(QStringLiteral("%1 %2 %3 %4 %5")
                         .arg(QStringLiteral("lines"), 10)
                         .arg(QStringLiteral("removed"), 10)
                         .arg(QStringLiteral("I/O floor ms"), 13)
                         .arg(QStringLiteral("purge ms"), 10)
                         .arg(QStringLiteral("purge/floor"), 12));
    Figures at[2];
    for (int i = 0; i < 2; ++i) {
        const qsizetype lines = n * (i + 1);
        at[i] = measure(tmp.path(), lines, runs);
        BenchUtil::print(QStringLiteral("%1 %2 %3 %4 %5")
                             .arg(lines, 10)
                             .arg(at[i].removed, 10)
                             .arg(at[i].floorMs, 13, 'f', 1)
                             .arg(at[i].purgeMs, 10, 'f', 1)
                             .arg(at[i].purgeMs / at[i].floorMs, 12, 'f', 2));
    }
    BenchUtil::print(QStringLiteral("ratio 2N/N: purge %1, I/O floor %2 (linear: near 2)")
                         .arg(at[1].purgeMs / at[0].purgeMs, 0, 'f', 2)
                         .arg(at[1].floorMs / at[0].floorMs, 0, 'f', 2));
    return 0;
}
