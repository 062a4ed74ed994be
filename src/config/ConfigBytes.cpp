#include "config/ConfigBytes.h"

#include "config/SafeFile.h"

#include <cstring>

namespace ConfigBytes {

void skipByteOrderMark(QByteArray &bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
}

bool isConfiguration(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return true;
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    if (std::memchr(data, '\0', size_t(size)))
        return false;
    // A section line as the reader takes one: blanks, "[", and a "]" somewhere after it.
    qsizetype i = 0;
    while (i < size) {
        while (i < size && (data[i] == ' ' || data[i] == '\t'))
            ++i;
        const bool opens = i < size && data[i] == '[';
        while (i < size && data[i] != '\r' && data[i] != '\n') {
            if (opens && data[i] == ']')
                return true;
            ++i;
        }
        while (i < size && (data[i] == '\r' || data[i] == '\n'))
            ++i;
    }
    return false;
}

bool prepare(QByteArray &bytes, const QString &path, QString *error)
{
    skipByteOrderMark(bytes);
    if (isConfiguration(bytes))
        return true;
    if (error)
        *error = SafeFile::displayPath(path) + QStringLiteral(" is not a configuration file");
    return false;
}

} // namespace ConfigBytes
