// The Log View page: Refresh appends the lines of the server's log file to the view (at most
// its last 64 MB, read without excluding the server, which keeps writing), Clear empties the
// view; Ctrl+F opens the find bar under the tool bar.
#include "main/LogFindBar.h"
#include "main/LogViewFill.h"
#include "main/MemoText.h"
#include "services/RegularFileTail.h"
#include "main/TMainForm.h"
#include "platform/BusyCursor.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/gui/WaitCursor.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QPromise>
#include <QThreadPool>
#include <QLocale>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStringDecoder>
#include <QTabWidget>

// What a refresh adds to the log view: its text in pieces of at most about a megabyte, so
// that the window lets go of each as soon as it is in the view.
struct LogViewText
{
    RegularFileTail::Status status = RegularFileTail::Status::Failed;
    QStringList pieces; // empty: nothing to add (no line, nothing left out)
};

namespace {

constexpr qint64 MaxLogViewBytes = qint64(64) << 20;

// Turns every line break (CR LF, CR or LF) into LF, in place and in one pass.
void toLf(QString &text)
{
    QChar *data = text.data();
    const qsizetype size = text.size();
    qsizetype out = 0;
    for (qsizetype i = 0; i < size; ++i) {
        QChar c = data[i];
        if (c == QLatin1Char('\r')) {
            c = QLatin1Char('\n');
            if (i + 1 < size && data[i + 1] == QLatin1Char('\n'))
                ++i;
        }
        data[out++] = c;
    }
    text.truncate(out);
}

// A view lays out a paragraph as one piece, in time that grows with the square of its
// length when it holds no blank (a line of megabytes froze the window for minutes). A log
// line longer than MemoText::LongLine characters is shown as paragraphs of about
// MemoText::Piece characters, broken after a blank near that length where there is one;
// every other line is shown as it is. One pass; the text is copied only when a line is long.
void breakLongLines(QString &text)
{
    const qsizetype size = text.size();
    bool anyLong = false;
    for (qsizetype start = 0; start < size && !anyLong;) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = size;
        anyLong = end - start > MemoText::LongLine;
        start = end + 1;
    }
    if (!anyLong)
        return;
    QString out;
    out.reserve(size + size / MemoText::Piece + 1);
    for (qsizetype start = 0; start <= size;) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), start);
        if (lineEnd < 0)
            lineEnd = size;
        qsizetype from = start;
        while (lineEnd - from > MemoText::LongLine) {
            qsizetype end = from + MemoText::Piece;
            qsizetype blank = end;
            while (blank > end - MemoText::Piece / 8 && text.at(blank - 1) != QLatin1Char(' '))
                --blank;
            if (blank > end - MemoText::Piece / 8)
                end = blank;
            else if (text.at(end - 1).isHighSurrogate())
                --end;
            out.append(QStringView(text).mid(from, end - from));
            out.append(QLatin1Char('\n'));
            from = end;
        }
        out.append(QStringView(text).mid(from, lineEnd - from));
        if (lineEnd < size)
            out.append(QLatin1Char('\n'));
        start = lineEnd + 1;
    }
    text = std::move(out);
}

// The log's bytes as text with its lines separated by LF (a last line break ends the last
// line and starts no other). `lines` false when the bytes hold no line at all.
QString logText(const QByteArray &bytes, const QByteArray &charset, bool *lines)
{
    QStringDecoder decoder = charset.isEmpty() ? QStringDecoder(QStringDecoder::System)
                                               : QStringDecoder(charset.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::System);
    QString text = decoder.decode(bytes);
    *lines = !text.isEmpty();
    toLf(text);
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    breakLongLines(text);
    return text;
}

QStringList inPieces(QString text)
{
    constexpr qsizetype PieceChars = 1 << 20;
    if (text.size() <= PieceChars)
        return {std::move(text)};
    QStringList pieces;
    for (qsizetype from = 0; from < text.size();) {
        qsizetype end = qMin(text.size(), from + PieceChars);
        if (end < text.size() && text.at(end - 1).isHighSurrogate())
            --end;
        pieces.append(text.mid(from, end - from));
        from = end;
    }
    return pieces;
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

} // namespace

void TMainForm::connectLogView()
{
    connect(actnRefreshLog, &QAction::triggered, this, [this]() { actnRefreshLogExecute(); });
    connect(actnClearLog, &QAction::triggered, this, [this]() { actnClearLogExecute(); });
    connect(pctrlMain, &QTabWidget::currentChanged, this, [this]() {
        if (pctrlMain->currentWidget() == tabsLogView)
            tabsLogViewShow();
    });
    logFill = new LogViewFill(memoLog);
    // The view holds what the file held; an undo history would hold it a second time.
    memoLog->setUndoRedoEnabled(false);
    // Long lines wrap at the view's width: only a vertical scroll bar, the time stamps at
    // the start of every line always in sight.
    memoLog->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memoLog->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    memoLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memoLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Ctrl+F opens the log's find bar wherever the focus is while the Log View page is
    // shown (the tree included); on the other pages the key belongs to the tree's filter.
    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setObjectName(QStringLiteral("findLogShortcut"));
    find->setContext(Qt::WindowShortcut);
    find->setEnabled(false);
    connect(find, &QShortcut::activated, findLog, &LogFindBar::open);
    connect(pctrlMain, &QTabWidget::currentChanged, find,
            [this, find]() { find->setEnabled(pctrlMain->currentWidget() == tabsLogView); });
}

void TMainForm::tabsLogViewShow()
{
    actnRefreshLog->trigger();
}

// Reads the log and makes the text a refresh adds to the view: on the window's thread for a
// small log, on a worker thread otherwise (then `cancelled` says when nobody waits for it).
static LogViewText readLogViewText(const QString &path, const QByteArray &charset, const std::function<bool()> &cancelled)
{
    LogViewText out;
    // Only the last MaxLogViewBytes of the file: a log of any size (or a sparse one) is
    // shown without holding it whole. A FIFO or a device is refused without blocking.
    RegularFileTail::Result read = RegularFileTail::readTail(path, MaxLogViewBytes);
    out.status = read.status;
    if (read.status != RegularFileTail::Status::Ok || cancelled())
        return out;
    bool lines = false;
    QString text = logText(read.bytes, charset, &lines);
    read.bytes = QByteArray();
    if (!lines && read.skipped == 0)
        return out;
    if (read.skipped > 0)
        text.prepend(QStringLiteral("[The first %1 (%2 bytes) of %3 are left out; the last %4 follow.]")
                         .arg(sizeText(read.skipped))
                         .arg(read.skipped)
                         .arg(QDir::toNativeSeparators(path), sizeText(read.fileSize - read.skipped))
                     + (lines ? QStringLiteral("\n") : QString()));
    out.pieces = inPieces(std::move(text));
    return out;
}

void TMainForm::actnRefreshLogExecute()
{
    static WaitCursor waitCursor;
    // A refresh still reading or filling gives way to this one: its text leaves the view.
    stopLogRefresh();
    logFill->hold(std::make_unique<BusyCursorScope>(m_ctx.busyCursor ? m_ctx.busyCursor : &waitCursor));
    const QString path = ProgramFolder::filePath(m_ctx.programFolder, QStringLiteral("log.txt"));
    const QByteArray charset = m_codec.name();
    if (QFileInfo(path).size() < logFill->limits.readAsideBytes) {
        showLogViewText(path, readLogViewText(path, charset, []() { return false; }));
        return;
    }
    // A large log is read and decoded on a worker thread while the window goes on. The
    // worker shares nothing with the window but the promise; a refresh that gives way, or
    // the window closing, only cancels it.
    auto promise = std::make_shared<QPromise<LogViewText>>();
    promise->start();
    auto *watcher = new QFutureWatcher<LogViewText>(this);
    m_logRead = watcher;
    connect(watcher, &QObject::destroyed, [future = promise->future()]() mutable { future.cancel(); });
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, path]() {
        const QFuture<LogViewText> future = watcher->future();
        m_logRead = nullptr;
        watcher->deleteLater();
        if (future.resultCount() > 0)
            showLogViewText(path, future.result());
        else
            logFill->release();
    });
    watcher->setFuture(promise->future());
    QThreadPool::globalInstance()->start([promise, path, charset]() {
        if (!promise->isCanceled())
            promise->addResult(readLogViewText(path, charset, [&promise]() { return promise->isCanceled(); }));
        promise->finish();
    });
}

void TMainForm::showLogViewText(const QString &path, LogViewText read)
{
    if (read.status == RegularFileTail::Status::Missing)
        read.status = RegularFileTail::Status::Ok; // no log yet: nothing to add, nothing to say
    if (read.status != RegularFileTail::Status::Ok) {
        logFill->release(); // the hourglass gone before the message shows
        m_prompts->error(QStringLiteral("Cannot open file ") + path);
        return;
    }
    if (read.pieces.isEmpty()) {
        logFill->release();
        return;
    }
    // The view never holds much more than one window's worth: when appending would pass
    // it, the view starts afresh with what was just read.
    logFill->start(std::move(read.pieces), MaxLogViewBytes);
}

bool TMainForm::isLogRefreshing() const
{
    return m_logRead || logFill->isFilling();
}

void TMainForm::stopLogRefresh()
{
    delete m_logRead; // cancels the read
    m_logRead = nullptr;
    logFill->abandon();
    logFill->release();
}

void TMainForm::actnClearLogExecute()
{
    stopLogRefresh();
    logFill->clear();
}
