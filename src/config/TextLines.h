#pragma once

#include <QByteArray>
#include <QList>

// Text files of lines: lines end at CR LF, CR or LF when read; every line is followed by
// CR LF when written. A final line break ends the last line and does not start another.
namespace TextLines {

// Splits bytes into lines. Linear in the size of the input.
QList<QByteArray> split(const QByteArray &bytes);

// Calls `sink(line)` for every line, without copying the lines. Linear.
template <typename Sink>
void forEachLine(const QByteArray &bytes, Sink &&sink)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype start = 0;
    for (qsizetype i = 0; i < size; ++i) {
        const char c = data[i];
        if (c != '\r' && c != '\n')
            continue;
        sink(QByteArrayView(data + start, i - start));
        if (c == '\r' && i + 1 < size && data[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        sink(QByteArrayView(data + start, size - start));
}

// Every line followed by CR LF.
QByteArray joinCrLf(const QList<QByteArray> &lines);

// Every line break (CR LF, CR or LF) turned into CR LF; nothing added at the end.
QByteArray normalizeBreaks(const QByteArray &text);

// Reads a whole text file and gives its lines each followed by CR LF. A file that does not
// exist or cannot be read gives `ok == false` and no bytes.
QByteArray readFileCrLf(const QString &path, bool *ok = nullptr);

} // namespace TextLines
