// Memory of `quilmora-config check` and `diff` on configurations of N and 2N incoming
// accounts (few users and groups), as whole processes: peak resident size, and what each
// account adds (the difference of the two peaks over N), against the file's own bytes per
// account. `--write FILE ACCOUNTS` writes such a configuration instead.
#include "BenchUtil.h"
#include "ConfigGenerator.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray config(int accounts)
{
    return ConfigGenerator::manyAccounts(accounts);
}

// Runs the CLI with `args` and gives its peak resident size in KB and its wall time.
std::pair<long, double> run(const QStringList &args)
{
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        std::vector<QByteArray> bytes;
        bytes.push_back(QByteArrayLiteral(QUILMORA_CLI_PATH));
        for (const QString &a : args)
            bytes.push_back(a.toLocal8Bit());
        std::vector<char *> argv;
        for (QByteArray &b : bytes)
            argv.push_back(b.data());
        argv.push_back(nullptr);
        if (!freopen("/dev/null", "w", stdout))
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    return {usage.ru_maxrss, double(timer.nsecsElapsed()) / 1e6};
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc > 3 && QByteArray(argv[1]) == "--write") {
        QFile out(QString::fromLocal8Bit(argv[2]));
        return out.open(QIODevice::WriteOnly) && out.write(config(QByteArray(argv[3]).toInt())) > 0 ? 0 : 1;
    }
    const int n = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    QTemporaryDir dir;
    struct Size
    {
        int accounts;
        QString folder, other;
        qint64 bytes;
    };
    std::vector<Size> sizes;
    for (int accounts : {n, 2 * n}) {
        Size s{accounts, QDir(dir.path()).filePath(QString::number(accounts)), {}, 0};
        QDir().mkpath(s.folder);
        QByteArray bytes = config(accounts);
        s.bytes = bytes.size();
        QFile f(s.folder + QStringLiteral("/quilmora.ini"));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return 1;
        f.close();
        // The other file of `diff`: every account's subject changed.
        s.other = s.folder + QStringLiteral("/other.ini");
        QFile o(s.other);
        if (!o.open(QIODevice::WriteOnly) || o.write(bytes.replace("AutoReplySubject=Received", "AutoReplySubject=Seen")) <= 0)
            return 1;
        sizes.push_back(s);
    }
    std::printf("accounts: %d and %d; file bytes per account: %.0f\n", sizes[0].accounts, sizes[1].accounts,
                double(sizes[1].bytes - sizes[0].bytes) / n);
    struct Command
    {
        const char *name;
        std::function<QStringList(const Size &)> args;
        int files = 1; // configurations the command loads
    };
    const Command commands[] = {
        {"normalize (load + save, the baseline)",
         [](const Size &s) { return QStringList{"--folder", s.folder, "normalize"}; }},
        {"check", [](const Size &s) { return QStringList{"--folder", s.folder, "check"}; }},
        {"diff against a file with every account changed",
         [](const Size &s) { return QStringList{"--folder", s.folder, "diff", s.other}; }, 2},
    };
    double baseMs = 0, baseKb = 0;
    for (const Command &c : commands) {
        const auto [kb1, ms1] = run(c.args(sizes[0]));
        const auto [kb2, ms2] = run(c.args(sizes[1]));
        const double perAccount = double(kb2 - kb1) * 1024 / n;
        if (baseMs == 0) {
            baseMs = ms2;
            baseKb = perAccount;
        }
        std::printf("%-48s peak %7.1f / %7.1f MB, %6.0f bytes an account (%.2fx baseline), %7.0f ms at 2N (%.2fx)\n",
                    c.name, double(kb1) / 1024, double(kb2) / 1024, perAccount, perAccount / baseKb, ms2, ms2 / baseMs);
        if (c.files > 1)
            std::printf("%-48s %.0f bytes an account for each of the %d files it loads (goal: under 1,024)\n", "",
                        perAccount / c.files, c.files);
    }
    return 0;
}
