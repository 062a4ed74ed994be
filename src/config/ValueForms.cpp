#include "config/ValueForms.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ValueForms {

namespace {

// The bytes that make a list name quoted: codes 1 to 32, the double quote and the comma.
struct QuoteTable
{
    bool special[256] = {};
    constexpr QuoteTable()
    {
        for (int c = 1; c <= 32; ++c)
            special[c] = true;
        special[int('"')] = true;
        special[int(',')] = true;
    }
};
constexpr QuoteTable kQuote;



} // namespace

bool needsQuotes(QByteArrayView name)
{
    bool any = false;
    for (const char c : name)
        any |= kQuote.special[static_cast<unsigned char>(c)];
    return any;
}


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

qsizetype encodedIntegerSize(int value)
{
    quint32 u = value < 0 ? 0u - quint32(value) : quint32(value);
    qsizetype n = value < 0 ? 2 : 1;
    while (u >= 10) {
        u /= 10;
        ++n;
    }
    return n;
}

char *encodeIntegerTo(char *out, int value)
{
    char digits[12];
    char *d = digits + sizeof digits;
    quint32 u = value < 0 ? 0u - quint32(value) : quint32(value);
    do {
        *--d = char('0' + u % 10);
        u /= 10;
    } while (u);
    if (value < 0)
        *out++ = '-';
    const size_t n = size_t(digits + sizeof digits - d);
    std::memcpy(out, d, n);
    return out + n;
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
    QByteArray out(bytes.size() * 2, Qt::Uninitialized);
    encodeBinaryTo(out.data(), bytes);
    return out;
}

char *encodeBinaryTo(char *out, QByteArrayView bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        *out++ = digits[u >> 4];
        *out++ = digits[u & 0x0F];
    }
    return out;
}

QByteArrayList decodeList(QByteArrayView value)
{
    QByteArrayList names;
    // Room for every name at once: no name more than the commas allow (a quoted comma only
    // leaves a place unused), so a long list is not grown step by step.
    const qsizetype commas = qsizetype(std::count(value.begin(), value.end(), ','));
    if (commas > 0)
        names.reserve(commas + 1);
    QByteArray scratch;
    forEachListName(value, scratch, [&names](QByteArrayView name) { names.append(name.toByteArray()); });
    return names;
}

QByteArray encodeList(const QByteArrayList &names)
{
    QByteArray out(encodedListSize(names), Qt::Uninitialized);
    encodeListTo(out.data(), names);
    return out;
}

qsizetype encodedListSize(const QByteArrayList &names)
{
    if (names.size() == 1 && names.first().isEmpty())
        return 2;
    qsizetype size = names.isEmpty() ? 0 : names.size() - 1; // the commas
    for (const QByteArray &name : names) {
        size += name.size();
        if (needsQuotes(name))
            size += 2 + qsizetype(std::count(name.begin(), name.end(), '"'));
    }
    return size;
}

char *encodeListTo(char *out, const QByteArrayList &names)
{
    if (names.size() == 1 && names.first().isEmpty()) {
        *out++ = '"';
        *out++ = '"';
        return out;
    }
    bool first = true;
    for (const QByteArray &name : names) {
        if (!first)
            *out++ = ',';
        first = false;
        if (!needsQuotes(name)) {
            if (!name.isEmpty())
                std::memcpy(out, name.constData(), size_t(name.size()));
            out += name.size();
            continue;
        }
        *out++ = '"';
        for (const char c : name) {
            if (c == '"')
                *out++ = '"';
            *out++ = c;
        }
        *out++ = '"';
    }
    return out;
}

} // namespace ValueForms
