#pragma once

#include <QByteArray>
#include <QString>

// Reading the server's own text files (log.txt, tips.dat) that other programs write: only a
// regular file is read (a FIFO, a device or a link to one is refused without blocking), and
// never more than a given number of bytes, so a huge or sparse file cannot fill the memory.
// Writers are not excluded: the server keeps writing its log while it is read.
namespace RegularFileTail {

enum class Status { Ok, Missing, NotRegular, TooLarge, Failed };

struct Result
{
    Status status = Status::Failed;
    QByteArray bytes;
    qint64 fileSize = 0;
    // Bytes at the start of the file that were left out (readTail only).
    qint64 skipped = 0;
};

// At most the last `maxBytes` of the file. When the file is larger, the part read begins
// after the first line break inside the window, so no line is shown cut at its start (a
// window without a line break yields nothing, and all of the file counts as skipped).
Result readTail(const QString &path, qint64 maxBytes);

// The whole file, or TooLarge (nothing read) when it holds more than `maxBytes`.
Result readLimited(const QString &path, qint64 maxBytes);

} // namespace RegularFileTail
