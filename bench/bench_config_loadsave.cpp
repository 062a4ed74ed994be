// Load + save of a large configuration beside a raw read + write of the same bytes, at
// sizes N and 2N. Usage: bench_config_loadsave [--write FILE [--scale K]]
#include "BenchUtil.h"
#include "ConfigGenerator.h"
#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct Figures
{
    double megabytes;
    double loadSave;
    double raw;
};

Figures measure(const QString &dir, int factor)
{
    const QByteArray bytes = ConfigGenerator::generate(ConfigGenerator::scaled(factor));
    const QString source = dir + QStringLiteral("/quilmora.ini");
    const QString target = dir + QStringLiteral("/saved.ini");
    const QString rawTarget = dir + QStringLiteral("/raw.ini");
    {
        QFile f(source);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
    const TextCodec codec;
    const double raw = BenchUtil::medianMs(5, [&] {
        QFile in(source);
        in.open(QIODevice::ReadOnly);
        const QByteArray read = in.readAll();
        writeFileAtomically(rawTarget, read);
    });
    const double loadSave = BenchUtil::medianMs(5, [&] {
        ConfigDocument doc;
        QString error;
        if (!doc.load(source, codec, &error) || !doc.save(target, &error))
            qFatal("load/save failed");
    });
    QFile saved(target);
    saved.open(QIODevice::ReadOnly);
    if (saved.readAll() != bytes)
        qFatal("the saved file differs from the loaded one");
    return {bytes.size() / 1e6, loadSave, raw};
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype write = args.indexOf(QStringLiteral("--write"));
    if (write > 0 && write + 1 < args.size()) {
        const qsizetype scale = args.indexOf(QStringLiteral("--scale"));
        const int factor = scale > 0 && scale + 1 < args.size() ? args[scale + 1].toInt() : 1;
        QFile f(args[write + 1]);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(ConfigGenerator::generate(ConfigGenerator::scaled(std::max(1, factor))));
        return 0;
    }

    QTemporaryDir dir;
    std::printf("Configuration load + save (5,000 users, 1,000 groups x 200 users, 500 accounts per N)\n");
    const Figures n = measure(dir.path(), 1);
    const Figures n2 = measure(dir.path(), 2);
    for (const auto &[label, f] : {std::pair{"N", n}, std::pair{"2N", n2}}) {
        std::printf(" size %s: %.1f MB\n", label, f.megabytes);
        BenchUtil::throughputRow("raw read + atomic write", f.raw, f.megabytes);
        BenchUtil::throughputRow("load + save (document)", f.loadSave, f.megabytes);
        std::printf("  %-44s %9.2f\n", "load + save / raw", f.loadSave / f.raw);
    }
    std::printf(" ratio 2N / N of load + save: %.2f (linear: near 2)\n", n2.loadSave / n.loadSave);
    measureAdminCommands(dir.path());
    return 0;
}
