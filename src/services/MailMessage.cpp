#include "services/MailMessage.h"

#include <QRegularExpression>
#include <cerrno>
#include <iconv.h>

namespace {

bool isPlainAscii(const QString &text)
{
    for (QChar c : text) {
        if (c.unicode() < 32 || c.unicode() > 126)
            return false;
    }
    return true;
}

// Converts UTF-8 bytes into `charset` with the C library's iconv, one character at a time
// past anything the charset cannot hold (written as "?").
QByteArray iconvConvert(const QByteArray &utf8, const QByteArray &charset)
{
    iconv_t cd = iconv_open(charset.constData(), "UTF-8");
    if (cd == iconv_t(-1))
        return utf8;
    QByteArray out;
    QByteArray buffer(4 * utf8.size() + 16, Qt::Uninitialized);
    char *in = const_cast<char *>(utf8.constData());
    size_t inLeft = size_t(utf8.size());
    for (;;) {
        char *outPtr = buffer.data();
        size_t outLeft = size_t(buffer.size());
        const size_t r = inLeft ? iconv(cd, &in, &inLeft, &outPtr, &outLeft) : iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.constData(), buffer.size() - qsizetype(outLeft));
        if (r != size_t(-1)) {
            if (inLeft == 0) {
                // Flush the shift state (ISO-2022-JP returns to ASCII at the end).
                char *endPtr = buffer.data();
                size_t endLeft = size_t(buffer.size());
                iconv(cd, nullptr, nullptr, &endPtr, &endLeft);
                out.append(buffer.constData(), buffer.size() - qsizetype(endLeft));
                break;
            }
            continue;
        }
        if (errno == E2BIG)
            continue;
        // A character the charset lacks (or broken input): skip its UTF-8 bytes.
        out.append('?');
        if (inLeft == 0)
            break;
        unsigned char lead = static_cast<unsigned char>(*in);
        size_t skip = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        skip = qMin(skip, inLeft);
        in += skip;
        inLeft -= skip;
    }
    iconv_close(cd);
    return out;
}

QByteArray qEncode(const QByteArray &bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == ' ')
            out += '_';
        else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!' || c == '*'
                 || c == '+' || c == '-' || c == '/')
            out += char(c);
        else {
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

QByteArray encodedWord(const QString &chunk, const MailCharset &charset)
{
    const QByteArray bytes = charset.encode(chunk);
    const QByteArray payload = charset.encoding == 'B' ? bytes.toBase64() : qEncode(bytes);
    return "=?" + charset.name + '?' + charset.encoding + '?' + payload + "?=";
}

// A text as encoded words of at most 75 characters each, separated by blanks.
QByteArray encodedWords(const QString &text, const MailCharset &charset)
{
    constexpr qsizetype MaxWord = 75;
    QByteArrayList words;
    QString chunk;
    QByteArray chunkWord;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype step = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QString candidate = chunk + text.mid(i, step);
        const QByteArray word = encodedWord(candidate, charset);
        if (word.size() > MaxWord && !chunk.isEmpty()) {
            words.append(chunkWord);
            chunk = text.mid(i, step);
            chunkWord = encodedWord(chunk, charset);
        } else {
            chunk = candidate;
            chunkWord = word;
        }
        i += step;
    }
    if (!chunk.isEmpty())
        words.append(chunkWord);
    return words.join(' ');
}

// Splits at commas outside quotes and angle brackets.
QStringList splitAddresses(const QString &text)
{
    QStringList out;
    QString current;
    bool quoted = false;
    int angle = 0;
    for (QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('<'))
            ++angle;
        else if (!quoted && c == QLatin1Char('>') && angle > 0)
            --angle;
        if (c == QLatin1Char(',') && !quoted && angle == 0) {
            out.append(current.trimmed());
            current.clear();
        } else {
            current += c;
        }
    }
    out.append(current.trimmed());
    out.removeAll(QString());
    return out;
}

QByteArray encodeAddress(const QString &text, const MailCharset &charset)
{
    const QString clean = MailMessage::withoutLineBreaks(text);
    if (isPlainAscii(clean))
        return clean.toLatin1();
    const qsizetype open = clean.lastIndexOf(QLatin1Char('<'));
    if (open > 0 && clean.indexOf(QLatin1Char('>'), open) > open) {
        QString name = clean.left(open).trimmed();
        if (name.size() >= 2 && name.startsWith(QLatin1Char('"')) && name.endsWith(QLatin1Char('"')))
            name = name.mid(1, name.size() - 2);
        const QString address = clean.mid(open);
        return encodedWords(name, charset) + ' '
               + (isPlainAscii(address) ? address.toLatin1() : encodedWords(address, charset));
    }
    return encodedWords(clean, charset);
}

} // namespace

MailCharset MailCharset::forLocale(const QLocale &locale)
{
    switch (locale.language()) {
    case QLocale::Chinese:
        if (locale.script() == QLocale::SimplifiedHanScript
            || (locale.script() == QLocale::AnyScript
                && (locale.territory() == QLocale::China || locale.territory() == QLocale::Singapore)))
            return {"GB2312", 'B'};
        return {"Big5", 'B'};
    case QLocale::Japanese:
        return {"ISO-2022-JP", 'B'};
    case QLocale::Korean:
        return {"EUC-KR", 'B'};
    default:
        return {"ISO-8859-1", 'Q'};
    }
}

MailCharset MailCharset::startup()
{
    static const MailCharset atStart = forLocale(QLocale::system());
    return atStart;
}

QByteArray MailCharset::encode(const QString &text) const
{
    return iconvConvert(text.toUtf8(), name);
}

QString MailMessage::withoutLineBreaks(const QString &text)
{
    static const QRegularExpression breaks(QStringLiteral("\\r\\n|\\r|\\n"));
    QString out = text;
    out.replace(breaks, QStringLiteral(" "));
    return out;
}

QString MailMessage::bareAddress(const QString &text)
{
    const QString clean = withoutLineBreaks(text);
    const qsizetype open = clean.lastIndexOf(QLatin1Char('<'));
    if (open >= 0) {
        const qsizetype close = clean.indexOf(QLatin1Char('>'), open);
        if (close > open)
            return clean.mid(open + 1, close - open - 1).trimmed();
    }
    return clean.trimmed();
}

void MailMessage::setRecipients(const QString &addresses)
{
    Recipients = splitAddresses(addresses);
}

void MailMessage::setExtraHeader(const QString &name, const QString &value)
{
    for (qsizetype i = 0; i < ExtraHeaders.size(); ++i) {
        if (ExtraHeaders[i].first.compare(name, Qt::CaseInsensitive) == 0) {
            if (value.isEmpty())
                ExtraHeaders.removeAt(i);
            else
                ExtraHeaders[i].second = value;
            return;
        }
    }
    if (!value.isEmpty())
        ExtraHeaders.append({name, value});
}

QByteArray MailMessage::dateText(const QDateTime &time)
{
    static const char *const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = time.date();
    const QTime t = time.time();
    const int offset = time.offsetFromUtc() / 60;
    const int absOffset = offset < 0 ? -offset : offset;
    const QString text = QStringLiteral("%1, %2 %3 %4 %5:%6:%7 %8%9%10")
                             .arg(QLatin1String(days[d.dayOfWeek() - 1]))
                             .arg(d.day())
                             .arg(QLatin1String(months[d.month() - 1]))
                             .arg(d.year())
                             .arg(t.hour(), 2, 10, QLatin1Char('0'))
                             .arg(t.minute(), 2, 10, QLatin1Char('0'))
                             .arg(t.second(), 2, 10, QLatin1Char('0'))
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(absOffset / 60, 2, 10, QLatin1Char('0'))
                             .arg(absOffset % 60, 2, 10, QLatin1Char('0'));
    return text.toLatin1();
}

QByteArray MailMessage::encodeText(const QString &text, const MailCharset &charset)
{
    const QString clean = withoutLineBreaks(text);
    if (isPlainAscii(clean))
        return clean.toLatin1();
    return encodedWords(clean, charset);
}

QByteArray MailMessage::encodeAddresses(const QStringList &addresses, const MailCharset &charset)
{
    QByteArrayList parts;
    for (const QString &a : addresses)
        parts.append(encodeAddress(a, charset));
    return parts.join(", ");
}

QByteArray MailMessage::fold(const QByteArray &line)
{
    constexpr qsizetype Max = 78;
    QByteArrayList pieces;
    QByteArray rest = line;
    while (rest.size() > Max) {
        qsizetype cut = -1;
        for (qsizetype i = Max; i > 0; --i) {
            if (rest[i] == ' ' || rest[i] == '\t') {
                cut = i;
                break;
            }
        }
        if (cut < 0) {
            // A word longer than a line: break after it, at the first blank that follows.
            for (qsizetype i = Max + 1; i < rest.size(); ++i) {
                if (rest[i] == ' ' || rest[i] == '\t') {
                    cut = i;
                    break;
                }
            }
        }
        if (cut < 0)
            break;
        pieces.append(rest.left(cut));
        rest = rest.mid(cut); // the continuation begins with the blank
    }
    pieces.append(rest);
    return pieces.join("\r\n");
}

QByteArrayList MailMessage::headerLines(const QDateTime &sendingTime) const
{
    QByteArrayList lines;
    auto add = [&lines](const QByteArray &name, const QByteArray &value) {
        if (!value.isEmpty())
            lines.append(fold(name + ": " + value));
    };
    add("From", encodeAddress(From, charset));
    add("Subject", encodeText(Subject, charset));
    add("To", encodeAddresses(Recipients, charset));
    add("Cc", encodeAddresses(CCList, charset));
    add("Date", dateText(date.isValid() ? date : sendingTime));
    add("X-Priority", "3");
    add("X-Library", MailLibraryName);
    for (const auto &[name, value] : ExtraHeaders) {
        QByteArray cleanName = withoutLineBreaks(name).toLatin1();
        cleanName.replace(':', "");
        cleanName.replace(' ', "");
        add(cleanName, encodeText(value, charset));
    }
    return lines;
}

QByteArray MailMessage::wireData(const QDateTime &sendingTime) const
{
    QByteArray out;
    for (const QByteArray &line : headerLines(sendingTime))
        out += line + "\r\n";
    out += "\r\n";
    static const QRegularExpression breaks(QStringLiteral("\\r\\n|\\r|\\n"));
    for (const QString &bodyLine : Body) {
        // A line holding line breaks is sent as the lines it holds, each dot-stuffed, so no
        // text can end the message early or speak to the server.
        for (const QString &line : bodyLine.split(breaks)) {
            QByteArray bytes = charset.isJapanese() ? charset.encode(line) : line.toLocal8Bit();
            if (bytes.startsWith('.'))
                bytes.prepend('.');
            out += bytes + "\r\n";
        }
    }
    return out;
}
