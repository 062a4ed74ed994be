// The Log View page: Refresh appends the lines of the server's log file to the view, Clear
// empties the view; Ctrl+F opens the find bar under the tool bar.
#include "main/LogFindBar.h"
#include "main/TMainForm.h"
#include "platform/BusyCursor.h"
#include "platform/ProgramFolder.h"
#include "platform/Prompts.h"
#include "platform/gui/WaitCursor.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QShortcut>
#include <QStringDecoder>
#include <QTabWidget>

namespace {

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

// The log file's text with its lines separated by LF (a last line break ends the last line
// and starts no other), read in pieces so that only the text is held whole, never the
// file's bytes beside it. `lines` false when the file holds no line at all.
bool readLog(QFile &file, const QByteArray &charset, QString *text, bool *lines)
{
    QStringDecoder decoder = charset.isEmpty() ? QStringDecoder(QStringDecoder::System)
                                               : QStringDecoder(charset.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::System);
    const qint64 size = file.size();
    text->clear();
    text->reserve(qsizetype(size) + 16);
    QByteArray piece;
    for (;;) {
        piece.resize(1 << 20);
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0)
            return false;
        if (got == 0)
            break;
        text->append(decoder.decode(QByteArrayView(piece.constData(), got)));
    }
    *lines = !text->isEmpty();
    toLf(*text);
    if (text->endsWith(QLatin1Char('\n')))
        text->chop(1);
    return true;
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
    // The view holds what the file held; an undo history would hold it a second time.
    memoLog->setUndoRedoEnabled(false);
    auto *find = new QShortcut(QKeySequence::Find, tabsLogView);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, findLog, &LogFindBar::open);
}

void TMainForm::tabsLogViewShow()
{
    actnRefreshLog->trigger();
}

void TMainForm::actnRefreshLogExecute()
{
    WaitCursor waitCursor;
    BusyCursorScope wait(m_ctx.busyCursor ? m_ctx.busyCursor : &waitCursor); // restored on every way out
    const QString path = ProgramFolder::filePath(m_ctx.programFolder, QStringLiteral("log.txt"));
    if (!QFileInfo::exists(path))
        return; // no log yet: nothing to add, nothing to say

    QString text;
    bool lines = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !readLog(file, m_codec.name(), &text, &lines)) {
        wait.release();
        m_prompts->error(QStringLiteral("Cannot open file ") + path);
        return;
    }
    file.close();
    if (!lines)
        return;
    if (memoLog->document()->isEmpty())
        memoLog->setPlainText(text);
    else
        memoLog->appendPlainText(text);
    text = QString(); // the view holds it now
    memoLog->moveCursor(QTextCursor::End); // the newest lines in view
}

void TMainForm::actnClearLogExecute()
{
    memoLog->clear();
}
