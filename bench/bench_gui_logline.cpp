// Log View with one long line: Refresh of a log that is a single line of N letters "x"
// (no blank, no break), shown and painted, at N and 2N. Linear work shows a ratio near 2;
// the longest pause of the window's thread (between two paints) is printed beside it.
#include "BenchEditor.h"
#include "BenchUtil.h"

#include "main/NavTree.h"
#include "main/TMainForm.h"

#include <QAbstractEventDispatcher>
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
    double pauseMs = 0; // the longest time the event loop did not run meanwhile
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

    // The longest stretch between two turns of the event loop.
    QElapsedTimer sinceTurn;
    sinceTurn.start();
    double longest = 0;
    auto *dispatcher = QAbstractEventDispatcher::instance();
    const auto turn = QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, [&]() {
        longest = qMax(longest, double(sinceTurn.nsecsElapsed()) / 1e6);
        sinceTurn.restart();
    });
    QElapsedTimer timer;
    timer.start();
    sinceTurn.restart();
    form.actnRefreshLogExecute();
    // Until the whole line is in the view and painted.
    while (form.memoLog->document()->characterCount() < n)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    form.memoLog->viewport()->repaint();
    QCoreApplication::processEvents();
    Run run;
    run.ms = double(timer.nsecsElapsed()) / 1e6;
    longest = qMax(longest, double(sinceTurn.nsecsElapsed()) / 1e6);
    run.pauseMs = longest;
    QObject::disconnect(turn);
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
    std::printf("one line of %lld letters:  %9.1f ms, longest pause %7.1f ms\n", (long long)n, one.ms, one.pauseMs);
    std::printf("one line of %lld letters:  %9.1f ms, longest pause %7.1f ms\n", (long long)(2 * n), two.ms, two.pauseMs);
    std::printf("ratio 2N / N: %.2f (linear: about 2; square: about 4)\n", two.ms / one.ms);
    return 0;
}
