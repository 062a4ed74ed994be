// Reads arbitrary bytes as a line of the tips file: the text is at most 255 characters
// plus the line breaks of its placeholders, and never longer than what it came from.
#include "services/TKDTipDay.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString text = TKDTipDay::textOf(line);
    if (text.size() > 255 || text.size() > qMax<qsizetype>(0, line.size() - 1))
        std::abort();
    if (text.count(QLatin1Char('\n')) > 5 + line.count(QLatin1Char('\n')))
        std::abort();
    TKDTipDay::headingOf(line);
    return 0;
}
