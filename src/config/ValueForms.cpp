#include "config/ValueForms.h"

#include <limits>

namespace ValueForms {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Characters that end an unquoted name and that are skipped between names: codes 1 to 32.
bool isSeparatorBlank(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

} // namespace

std::optional<int> parseInteger(QByteArrayView value)
{
    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        quint64 n = 0;
        for (qsizetype i = 2; i < value.size(); ++i) {
            const int d = hexDigit(value[i]);
            if (d < 0)
                return std::nullopt;
            n = n * 16 + quint64(d);
            if (n > 0xFFFFFFFFull)
                return std::nullopt;
        }
        return static_cast<int>(static_cast<quint32>(n));
    }
    qsizetype i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    if (i == value.size())
        return std::nullopt;
    qint64 n = 0;
    for (; i < value.size(); ++i) {
        const char c = value[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
        if (n > qint64(std::numeric_limits<int>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        n = -n;
    if (n > std::numeric_limits<int>::max() || n < std::numeric_limits<int>::min())
        return std::nullopt;
    return static_cast<int>(n);
}

QByteArray writeInteger(int value)
{
    return QByteArray::number(value);
}

bool readSwitch(QByteArrayView value)
{
    return parseInteger(value) == 1;
}

QByteArray writeSwitch(bool on)
{
    return on ? QByteArray("1") : QByteArray("0");
}

bool isFlagOn(QByteArrayView value)
{
    return value == "Y";
}

QByteArray writeFlag(bool on)
{
    return on ? QByteArray("Y") : QByteArray("N");
}

QByteArray decodeBinary(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size() / 2);
    for (qsizetype i = 0; i + 1 < value.size(); i += 2) {
        const int hi = hexDigit(value[i]);
        const int lo = hexDigit(value[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        out.append(static_cast<char>(hi * 16 + lo));
    }
    return out;
}

QByteArray encodeBinary(QByteArrayView bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out(bytes.size() * 2, Qt::Uninitialized);
    char *p = out.data();
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        *p++ = digits[u >> 4];
        *p++ = digits[u & 0x0F];
    }
    return out;
}

QByteArrayList decodeList(QByteArrayView value)
{
    // A NUL byte ends the value, as it ends a profile string.
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0)
        value = value.first(nul);
    const qsizetype size = value.size();
    QByteArrayList names;
    qsizetype p = 0;
    while (p < size && isSeparatorBlank(value[p]))
        ++p;
    while (p < size) {
        QByteArray name;
        if (value[p] == '"') {
            ++p;
            while (p < size) {
                if (value[p] == '"') {
                    if (p + 1 < size && value[p + 1] == '"') {
                        name.append('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                name.append(value[p++]);
            }
        } else {
            const qsizetype start = p;
            while (p < size && !isSeparatorBlank(value[p]) && value[p] != ',')
                ++p;
            name = value.sliced(start, p - start).toByteArray();
        }
        names.append(name);
        while (p < size && isSeparatorBlank(value[p]))
            ++p;
        if (p < size && value[p] == ',') {
            if (p + 1 == size)
                names.append(QByteArray());
            do {
                ++p;
            } while (p < size && isSeparatorBlank(value[p]));
        }
    }
    return names;
}

QByteArray encodeList(const QByteArrayList &names)
{
    if (names.size() == 1 && names.first().isEmpty())
        return QByteArray("\"\"");
    QByteArray out;
    bool first = true;
    for (const QByteArray &name : names) {
        if (!first)
            out.append(',');
        first = false;
        bool quote = false;
        for (const char c : name) {
            if (isSeparatorBlank(c) || c == '"' || c == ',') {
                quote = true;
                break;
            }
        }
        if (!quote) {
            out.append(name);
            continue;
        }
        out.append('"');
        for (const char c : name) {
            if (c == '"')
                out.append('"');
            out.append(c);
        }
        out.append('"');
    }
    return out;
}

} // namespace ValueForms
