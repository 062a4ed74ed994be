// Load + save of a large configuration beside a raw read + write of the same bytes, at
// sizes N and 2N. Usage: bench_config_loadsave [--write FILE [--scale K]]
#include "BenchUtil.h"
#include "ConfigGenerator.h"
#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <QCoreApplication>
#include <QFile>
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
    return 0;
}
