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
// What prepare() says of bytes that are not a configuration.
QString notConfigurationText(const QString &path);

// The same check as skipByteOrderMark() and isConfiguration() together, made on bytes that
// arrive piece by piece (a fetch streams a block of any size to disk and never holds it
// whole). Its verdict for a stream equals isConfiguration() of the whole, mark skipped,
// wherever the pieces are cut.
class Scanner
{
public:
    void add(QByteArrayView piece);
    // Whether everything added so far is a configuration.
    bool isConfiguration() const;

private:
    void scan(QByteArrayView bytes);

    enum class Line { Start, Opened, Other };
    QByteArray m_head; // the first bytes, until it is known whether they are a mark
    bool m_headDone = false;
    bool m_any = false;     // bytes after the mark
    bool m_nul = false;
    bool m_section = false;
    Line m_line = Line::Start;
};

} // namespace ConfigBytes
