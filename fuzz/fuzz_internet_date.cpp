// Fuzzes the lenient e-mail date reader and the choice of expired overview lines: any
// bytes give a date-time (0 when unreadable) whose date is a real calendar day, never a
// crash or an overflow.
#include "archive/MsgArchive.h"
#include "config/TextLines.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    const MsgArchive::DateTime value = MsgArchive::ParseInternetDate(text);
    if (value != 0) {
        const QDate date = MsgArchive::dateOf(value);
        if (!date.isValid() || date.year() < 1 || date.year() > 9999)
            std::abort();
    }
    if (MsgArchive::ParseInternetDate(text) != value)
        std::abort();

    // The same bytes as overview lines.
    const QByteArray bytes = text.toByteArray();
    QList<QByteArrayView> lines;
    TextLines::forEachLine(bytes, [&lines](QByteArrayView line) { lines.append(line); });
    const QList<QByteArrayView> expired = MsgArchive::SelectExpired(lines, value);
    if (expired.size() > lines.size())
        std::abort();
    return 0;
}
