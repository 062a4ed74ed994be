#include "main/MemoText.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <vector>

namespace {

// Marks a paragraph that continues the line of the one before it.
class Continuation : public QTextBlockUserData
{
};

// Where a piece of `line` starting at `from` ends: after a blank near the piece's length
// when there is one, never between the halves of a surrogate pair.
qsizetype pieceEnd(const QString &text, qsizetype from, qsizetype lineEnd)
{
    qsizetype end = from + MemoText::Piece;
    if (end >= lineEnd)
        return lineEnd;
    for (qsizetype i = end; i > end - MemoText::Piece / 8; --i) {
        if (text.at(i - 1) == QLatin1Char(' '))
            return i;
    }
    if (text.at(end - 1).isHighSurrogate())
        --end;
    return end;
}

} // namespace

namespace MemoText {

void show(QPlainTextEdit *memo, const QString &text)
{
    // Most texts have no long line: shown as they are.
    bool anyLong = false;
    for (qsizetype start = 0; start <= text.size() && !anyLong;) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = text.size();
        anyLong = end - start > LongLine;
        start = end + 1;
    }
    if (!anyLong) {
        memo->setPlainText(text);
        return;
    }

    QString shown;
    shown.reserve(text.size() + text.size() / Piece + 16);
    std::vector<char> continues; // by paragraph of `shown`
    for (qsizetype start = 0; start <= text.size();) {
        qsizetype lineEnd = text.indexOf(QLatin1Char('\n'), start);
        if (lineEnd < 0)
            lineEnd = text.size();
        qsizetype from = start;
        bool first = true;
        do {
            const qsizetype end = lineEnd - start > LongLine ? pieceEnd(text, from, lineEnd) : lineEnd;
            if (!continues.empty())
                shown += QLatin1Char('\n');
            shown += QStringView(text).mid(from, end - from);
            continues.push_back(first ? 0 : 1);
            first = false;
            from = end;
        } while (from < lineEnd);
        start = lineEnd + 1;
    }
    memo->setPlainText(shown);
    QTextBlock block = memo->document()->firstBlock();
    for (size_t i = 0; i < continues.size() && block.isValid(); ++i, block = block.next()) {
        if (continues[i])
            block.setUserData(new Continuation);
    }
}

QString text(const QPlainTextEdit *memo)
{
    QString out;
    const QTextDocument *doc = memo->document();
    out.reserve(doc->characterCount());
    for (QTextBlock block = doc->firstBlock(); block.isValid(); block = block.next()) {
        if (block != doc->firstBlock() && !dynamic_cast<Continuation *>(block.userData()))
            out += QLatin1Char('\n');
        out += block.text();
    }
    out.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    out.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return out;
}

} // namespace MemoText
