#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <utility>

// The character set of header texts that are not plain ASCII, by the user's language:
// Chinese (simplified) GB2312, other Chinese Big5, Japanese ISO-2022-JP, Korean EUC-KR,
// each with the B encoding; every other language ISO-8859-1 with the Q encoding.
struct MailCharset
{
    QByteArray name = "ISO-8859-1";
    char encoding = 'Q'; // 'B' (Base64) or 'Q' (quoted-printable-like)

    static MailCharset forLocale(const QLocale &locale);
    // The charset of the locale the program started in.
    static MailCharset startup();

    bool isJapanese() const { return name == "ISO-2022-JP"; }
    // `text` in this charset (characters it cannot hold become "?").
    QByteArray encode(const QString &text) const;
};

// One plain-text mail: addresses, subject, body lines and extra headers. The wire form
// (header block, empty line, dot-stuffed body) is built by wireData().
class MailMessage
{
public:
    QString From;           // "addr" or "Display Name <addr>"
    QStringList Recipients; // To
    QStringList CCList;
    QStringList BccList;    // envelope only, never a header
    QString Subject;
    QStringList Body;
    QList<std::pair<QString, QString>> ExtraHeaders; // written after the generated ones
    QDateTime date;                                  // invalid: the time of sending
    MailCharset charset = MailCharset::startup();

    // Splits a text of addresses separated by commas (commas inside quotes or angle
    // brackets do not split) into Recipients.
    void setRecipients(const QString &addresses);
    // Sets, replaces or (with an empty value) removes an extra header.
    void setExtraHeader(const QString &name, const QString &value);

    // The header block, the empty line and the body, each line ended by CR LF, lines
    // beginning with "." doubled; without the closing ".".
    QByteArray wireData(const QDateTime &sendingTime) const;
    // The header lines as written (folded lines joined by CR LF), for tests and previews.
    QByteArrayList headerLines(const QDateTime &sendingTime) const;

    // The address of an address text: what stands in angle brackets, else the text
    // itself, trimmed. Line breaks are dropped so it can go into a command line.
    static QString bareAddress(const QString &text);
    // "Thu, 10 Dec 2026 15:37:17 +0100".
    static QByteArray dateText(const QDateTime &time);
    // A header text made safe and ASCII: line breaks become blanks (a value can never
    // start a header or a body of its own), non-ASCII texts become encoded words.
    static QByteArray encodeText(const QString &text, const MailCharset &charset);
    // Likewise for a list of addresses: only display names are encoded.
    static QByteArray encodeAddresses(const QStringList &addresses, const MailCharset &charset);
    // "Name: value" folded at blanks into lines of at most 78 characters.
    static QByteArray fold(const QByteArray &line);
    // Every CR, LF or CR LF of a text as one blank.
    static QString withoutLineBreaks(const QString &text);
};

// Name and version of this mail implementation, as its "X-Library" header gives it.
inline constexpr char MailLibraryName[] = "Quilmora Mail 1.0";
