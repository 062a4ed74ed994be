#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <optional>

// The value forms of the configuration file. Every reader takes the value as it stands
// after the store has trimmed it; every writer gives the exact bytes to store.
namespace ValueForms {

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

} // namespace ValueForms
