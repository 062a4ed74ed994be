#pragma once

#include <QByteArray>
#include <QString>

// The check a configuration file's bytes pass before they are parsed. A file that is not a
// configuration (UTF-16 text, binary data, a mistyped --file) must be refused, not read as
// a file without sections: a save would then replace it by a default configuration.
namespace ConfigBytes {

// Drops a UTF-8 byte-order mark at the very start, as some Windows editors write it.
void skipByteOrderMark(QByteArray &bytes);

// Empty, or holding at least one section header line ("[name]") and no NUL byte.
bool isConfiguration(const QByteArray &bytes);

// Both of the above: skips the mark, then false with "<path> is not a configuration file"
// in `error` when the bytes are not a configuration.
bool prepare(QByteArray &bytes, const QString &path, QString *error);

} // namespace ConfigBytes
