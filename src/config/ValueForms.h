#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <optional>

// The value forms of the configuration file. Every reader takes the value as it stands
// after the store has trimmed it; every writer gives the exact bytes to store.
namespace ValueForms {

// The value of one hexadecimal digit (either letter case), or -1.
inline int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Integer: signed decimal; a value longer than two characters beginning "0x" or "0X" is
// hexadecimal (up to 32 bits, taken as a signed 32-bit number). Anything else: nothing.
std::optional<int> parseInteger(QByteArrayView value);
QByteArray writeInteger(int value);

// Switch: on only when the value reads as exactly the number 1.
bool readSwitch(QByteArrayView value);
QByteArray writeSwitch(bool on);

// Flag value: on only when exactly "Y".
bool isFlagOn(QByteArrayView value);
QByteArray writeFlag(bool on);

// Binary value: hexadecimal pairs of either case, decoding stops at the first bad pair
// and a last unpaired digit is ignored. Written in upper case.
QByteArray decodeBinary(QByteArrayView value);
QByteArray encodeBinary(QByteArrayView bytes);

// List value: comma-separated names with double-quote quoting.
QByteArrayList decodeList(QByteArrayView value);
QByteArray encodeList(const QByteArrayList &names);

// The names of a list value one by one, as decodeList() gives them: `sink(name)` gets a
// view into `value`, or into `scratch` for a quoted name holding a doubled quote. Views
// stay valid only during the call.
template <typename Sink>
void forEachListName(QByteArrayView value, QByteArray &scratch, Sink &&sink);

// Whether encodeList writes a name in double quotes.
bool needsQuotes(QByteArrayView name);

// For writers that size their buffer before they write: the size of a value, and the
// value written at `out` (returning the position after it).
qsizetype encodedListSize(const QByteArrayList &names);
char *encodeListTo(char *out, const QByteArrayList &names);
qsizetype encodedIntegerSize(int value);
char *encodeIntegerTo(char *out, int value);
char *encodeBinaryTo(char *out, QByteArrayView bytes); // 2 x bytes.size() digits

// Characters that end an unquoted name and that are skipped between names: codes 1 to 32.
inline bool isSeparatorBlank(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

template <typename Sink>
void forEachListName(QByteArrayView value, QByteArray &scratch, Sink &&sink)
{
    // A NUL byte ends the value, as it ends a profile string.
    const qsizetype nul = value.indexOf('\0');
    if (nul >= 0)
        value = value.first(nul);
    const char *v = value.data();
    const qsizetype size = value.size();
    qsizetype p = 0;
    while (p < size && isSeparatorBlank(v[p]))
        ++p;
    while (p < size) {
        if (v[p] == '"') {
            const qsizetype start = ++p;
            bool doubled = false;
            while (p < size) {
                if (v[p] == '"') {
                    if (p + 1 < size && v[p + 1] == '"') {
                        doubled = true;
                        p += 2;
                        continue;
                    }
                    break;
                }
                ++p;
            }
            const QByteArrayView inside(v + start, p - start);
            if (p < size)
                ++p; // the closing quote
            if (!doubled) {
                sink(inside);
            } else {
                scratch.clear();
                for (qsizetype i = 0; i < inside.size(); ++i) {
                    scratch.append(inside[i]);
                    if (inside[i] == '"')
                        ++i; // the second of a doubled quote
                }
                sink(QByteArrayView(scratch));
            }
        } else {
            const qsizetype start = p;
            while (p < size && !isSeparatorBlank(v[p]) && v[p] != ',')
                ++p;
            sink(QByteArrayView(v + start, p - start));
        }
        while (p < size && isSeparatorBlank(v[p]))
            ++p;
        if (p < size && v[p] == ',') {
            if (p + 1 == size)
                sink(QByteArrayView());
            do {
                ++p;
            } while (p < size && isSeparatorBlank(v[p]));
        }
    }
}

} // namespace ValueForms
