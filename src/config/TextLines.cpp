#include "config/TextLines.h"

#include <QFile>

namespace TextLines {

QList<QByteArray> split(const QByteArray &bytes)
{
    QList<QByteArray> lines;
    forEachLine(bytes, [&lines](QByteArrayView line) { lines.append(line.toByteArray()); });
    return lines;
}

QByteArray joinCrLf(const QList<QByteArray> &lines)
{
    qsizetype total = 0;
    for (const QByteArray &line : lines)
        total += line.size() + 2;
    QByteArray out;
    out.reserve(total);
    for (const QByteArray &line : lines) {
        out.append(line);
        out.append("\r\n", 2);
    }
    return out;
}

QByteArray normalizeBreaks(const QByteArray &text)
{
    if (!text.contains('\r') && !text.contains('\n'))
        return text;
    QByteArray out;
    out.reserve(text.size() + text.size() / 8);
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = text.at(i);
        if (c == '\r' || c == '\n') {
            out.append("\r\n", 2);
            if (c == '\r' && i + 1 < size && text.at(i + 1) == '\n')
                ++i;
        } else {
            out.append(c);
        }
    }
    return out;
}

QByteArray readFileCrLf(const QString &path, bool *ok)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        if (ok)
            *ok = false;
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (ok)
        *ok = true;
    QByteArray out;
    out.reserve(bytes.size() + bytes.size() / 8 + 2);
    forEachLine(bytes, [&out](QByteArrayView line) {
        out.append(line.data(), line.size());
        out.append("\r\n", 2);
    });
    return out;
}

} // namespace TextLines
