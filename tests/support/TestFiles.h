#pragma once

#include <QByteArray>
#include <QString>

// Whole files as the tests set them up and check them, byte for byte.
namespace TestFiles {

// What `read` gives for a file that cannot be opened: never equal to real content, so a
// missing file cannot pass for an empty one.
inline constexpr char Missing[] = "<missing>";

// The file's bytes, or `Missing` when it cannot be opened.
QByteArray read(const QString &path);

// Replaces the file's content with `bytes`. True when all of them were written.
[[nodiscard]] bool write(const QString &path, const QByteArray &bytes);

} // namespace TestFiles
