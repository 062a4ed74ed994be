// Log View with one long line: Refresh of a log that is a single line of N letters "x"
// (no blank, no break), shown and painted, at N and 2N. Linear work shows a ratio near 2;
// beside it the longest pause of the window's thread (the longest time its event loop did
// not turn) and how often the view painted while it filled.
#include "BenchEditor.h"
#include "BenchPause.h"
#include "BenchUtil.h"

#include "main/NavTree.h"
#include "main/TMainForm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

struct Run
{
    double ms = 0;      // from Refresh until the view has painted the line
    double pauseMs = 0; // the longest time the event loop did not turn meanwhile
    int paints = 0;     // paints of the view before the refresh ended
    int turns = 0;      // turns of the event loop meanwhile (1 ms apart at most)
};

Run refreshOnce(TMainForm &form, const QString &logPath, qint64 n)
{
    QFile file(logPath);
    if (!file.open(QIODevice::WriteOnly))
        std::abort();
    file.write(QByteArray(qsizetype(n), 'x'));
    file.close();
    form.actnClearLogExecute();
    QCoreApplication::processEvents();

    Run run;
    PaintCounter paints(form.memoLog->viewport());
    LongestPause pause;
    QElapsedTimer timer;
    timer.start();
    form.actnRefreshLogExecute();
    // Until the whole line is in the view and painted.
    while (form.isLogRefreshing())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    run.paints = paints.count;
    form.memoLog->viewport()->repaint();
    QCoreApplication::processEvents();
    run.ms = double(timer.nsecsElapsed()) / 1e6;
    run.pauseMs = pause.ms();
    run.turns = pause.turns();
    if (form.memoLog->document()->characterCount() < n)
        std::abort();
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const qint64 n = argc > 1 ? QByteArray(argv[1]).toLongLong() : qint64(2) << 20;

    QTemporaryDir dir;
    const QString logPath = QDir(dir.path()).filePath(QStringLiteral("log.txt"));
    BenchEditorContext editor(dir.path());
    TMainForm form(editor.context);
    if (form.start(false) != TMainForm::StartResult::Run)
        return 1;
    form.show();
    form.tvNav->setCurrentItem(form.nodeLogView);
    QCoreApplication::processEvents();

    refreshOnce(form, logPath, 4096); // warm-up
    const Run one = refreshOnce(form, logPath, n);
    const Run two = refreshOnce(form, logPath, 2 * n);
    for (const auto &[letters, run] : {std::pair{n, one}, std::pair{2 * n, two}})
        std::printf("one line of %lld letters:  %7.1f ms, longest pause %5.1f ms (%d turns of the event loop, "
                    "%d paints of the view)\n",
                    (long long)letters, run.ms, run.pauseMs, run.turns, run.paints);
    std::printf("ratio 2N / N: %.2f (linear: about 2; square: about 4)\n", two.ms / one.ms);
    return 0;
}
