// The Log View's Refresh on a large server log (100 MB, 1,000,000 lines; the view shows its
// last 64 MB), against reading the same file and setting its text straight into a bare
// view of the same kind, in the same run. Also the memory the refresh takes, against the
// size of the text it shows. The refresh reads aside and fills the view in slices: beside
// its time, the longest pause of the window's thread (the longest its event loop did not
// turn) while it ran.
#include "BenchEditor.h"
#include "BenchPause.h"
#include "BenchUtil.h"

#include "main/TMainForm.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// A server log: `lines` lines of 100 bytes each with their CR LF.
bool writeLog(const QString &path, int lines)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk;
    for (int i = 0; i < lines; ++i) {
        QByteArray line = "2026-12-10 15:40:" + QByteArray::number(10 + i % 50)
                          + " POP3 sales@pop.harbour.example: message " + QByteArray::number(i)
                          + " filed into sales.eu by its keywords price, quote and offer";
        line.resize(98, '.');
        chunk += line + "\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    return file.flush();
}

// The process's resident size and its peak since the last reset, in kilobytes (Linux).
qint64 statusKb(const char *key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qsizetype(qstrlen(key))).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int lines = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;

    QTemporaryDir dir;
    const QString logPath = QDir(dir.path()).filePath(QStringLiteral("log.txt"));
    if (!writeLog(logPath, lines))
        return 1;
    const qint64 fileBytes = QFileInfo(logPath).size();
    std::printf("log.txt: %d lines, %.1f MB\n", lines, double(fileBytes) / 1e6);

    BenchEditorContext editor(dir.path());
    TMainForm form(editor.context);
    if (form.start(false) != TMainForm::StartResult::Run)
        return 1;
    form.show();

    // The baseline view: the same kind of view with the same settings (lines wrapped at
    // its width), shown.
    QPlainTextEdit bare;
    bare.setReadOnly(true);
    bare.setLineWrapMode(form.memoLog->lineWrapMode());
    bare.setWordWrapMode(form.memoLog->wordWrapMode());
    bare.setUndoRedoEnabled(false);
    bare.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    bare.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    bare.resize(form.memoLog->size());
    bare.show();
    QCoreApplication::processEvents();

    auto baseline = [&]() {
        bare.clear();
        QFile file(logPath);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        bare.setPlainText(QString::fromLocal8Bit(file.readAll()));
        QCoreApplication::processEvents();
    };
    // A refresh, until its text is in the view; the longest pause of the event loop meanwhile.
    double longestPauseMs = 0;
    auto refreshed = [&]() {
        LongestPause pause;
        form.actnRefreshLogExecute();
        while (form.isLogRefreshing())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
        longestPauseMs = std::max(longestPauseMs, pause.ms());
    };
    auto refresh = [&]() {
        form.actnClearLogExecute();
        refreshed();
    };

    const auto [baseMs, refreshMs] = BenchUtil::pairedMs(3, baseline, refresh);
    BenchUtil::row("read + setPlainText into a bare view (baseline)", baseMs, baseMs);
    BenchUtil::row("Refresh into the emptied view", refreshMs, baseMs);
    std::printf("  longest pause of the window's thread: %.1f ms\n", longestPauseMs);

    // The view shows the log's last 64 MB under a line that says what is left out.
    const int shownLines = form.memoLog->blockCount();
    std::printf("lines shown: %d of %d (the last 64 MB and the line saying what is left out)\n", shownLines, lines);

    // Showing the page again: a second copy would pass 64 MB, so the view starts afresh
    // with what was just read.
    longestPauseMs = 0;
    const double againMs = BenchUtil::medianMs(1, refreshed);
    BenchUtil::row("Refresh again (the view starts afresh)", againMs, baseMs);
    std::printf("  longest pause of the window's thread: %.1f ms\n", longestPauseMs);
    if (form.memoLog->blockCount() != shownLines)
        std::printf("unexpected line count %d\n", form.memoLog->blockCount());

    // What reading alone costs: the file's bytes into memory, and decoded into text.
    const double readMs = BenchUtil::medianMs(3, [&]() {
        QFile file(logPath);
        if (!file.open(QIODevice::ReadOnly))
            std::abort();
        const QString text = QString::fromLocal8Bit(file.readAll());
        if (text.isEmpty())
            std::abort();
    });
    BenchUtil::row("read + decode only, no view (for scale)", readMs, baseMs);

    // Memory: the peak while refreshing, above what was resident before, against the text.
    bare.clear();
    form.actnClearLogExecute();
    QCoreApplication::processEvents();
    const double textMb = double(fileBytes) * 2 / 1e6; // the text as UTF-16
    resetPeak();
    const qint64 before = statusKb("VmRSS:");
    baseline();
    const qint64 basePeak = statusKb("VmHWM:") - before;
    bare.clear();
    QCoreApplication::processEvents();
    resetPeak();
    const qint64 before2 = statusKb("VmRSS:");
    refresh();
    const qint64 refreshPeak = statusKb("VmHWM:") - before2;
    std::printf("peak memory: baseline %.0f MB, Refresh %.0f MB (%.2fx baseline, %.2fx the text's %.0f MB)\n",
                double(basePeak) / 1e3, double(refreshPeak) / 1e3, double(refreshPeak) / double(basePeak),
                double(refreshPeak) / 1e3 / textMb, textMb);
    return 0;
}
