#include "cli/ConfigJsonReader.h"

#include "cli/ItemKeys.h"
#include "config/ConfigDocument.h"
#include "config/GroupName.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"

#include <QSet>
#include <limits>

// A JSON reader of its own rather than QJsonDocument: a dump of a large configuration is
// megabytes of short strings, and reading it straight into the items' bytes keeps `apply`
// about as fast as loading the file itself.

namespace {

using ItemKeys::Form;
using ItemKeys::Kind;

// How texts become the configuration's bytes: a JSON text is UTF-8, which is the stored
// form itself when the character set is UTF-8, and for plain ASCII in any character set
// that keeps ASCII as it is.
struct Encoding
{
    bool utf8 = false;
    bool asciiSafe = false;

    explicit Encoding(const TextCodec &codec)
    {
        QString ascii;
        for (char16_t c = 1; c < 128; ++c)
            ascii.append(QChar(c));
        asciiSafe = codec.encode(ascii) == ascii.toLatin1() && codec.decode(ascii.toLatin1()) == ascii;
        const QString sample = ascii + QStringLiteral("\u00e9\u00df\u20ac\u4e2d\U0001F600");
        utf8 = asciiSafe && codec.encode(sample) == sample.toUtf8() && codec.decode(sample.toUtf8()) == sample;
    }
};

// Where a value stands in the JSON, as "users[3].Pass": made only when a failure names it.
struct Path
{
    const Path *parent = nullptr;
    QByteArrayView key;  // a member's key, or
    qsizetype index = -1; // an element's position

    QString toString() const
    {
        QString head = parent ? parent->toString() : QString();
        if (index >= 0)
            return head + QStringLiteral("[%1]").arg(index);
        const QString k = QString::fromUtf8(key);
        return head.isEmpty() ? k : head + QLatin1Char('.') + k;
    }
};

class Reader
{
public:
    Reader(const QByteArray &json, const ConfigDocument &current, const TextCodec &codec, ConfigDocument &out)
        : m_p(json.constData()), m_end(json.constData() + json.size()), m_begin(json.constData()),
          m_current(current), m_codec(codec), m_encoding(codec), m_out(out)
    {
        for (const auto &g : current.groups)
            m_currentGroupNames.insert(g->Name);
    }

    QString error;

    bool readDocument()
    {
        skipBlanks();
        if (!at('{'))
            return syntax(QStringLiteral("the JSON is not one object of dump's form"));
        bool seen[4] = {false, false, false, false};
        bool seenOldFormat = false;
        const Path root;
        // A member given twice is refused rather than merged or taken from its last place.
        const auto once = [&](bool &flag, const Path &path) {
            if (flag)
                return fail(path, QStringLiteral("stands twice"));
            flag = true;
            return true;
        };
        bool ok = members(root, [&](const QByteArray &key, const Path &path) {
            if (key == "oldFormat") {
                bool b = false;
                return once(seenOldFormat, path) && boolean(path, &b);
            }
            if (key == "server")
                return once(seen[0], path) && item(Kind::Server, -1, path);
            const Kind kind = key == "pops" ? Kind::Pop : key == "users" ? Kind::User : Kind::Group;
            if (key != "pops" && key != "users" && key != "groups")
                return fail(path, QStringLiteral("unknown key"));
            return once(seen[kind == Kind::Pop ? 1 : kind == Kind::User ? 2 : 3], path) && items(kind, path);
        });
        if (!ok)
            return false;
        skipBlanks();
        if (m_p != m_end)
            return syntax(QStringLiteral("text after the object"));
        const char *names[4] = {"server", "pops", "users", "groups"};
        for (int i = 0; i < 4; ++i) {
            if (!seen[i])
                return fail(Path{nullptr, names[i], -1}, QStringLiteral("missing"));
        }
        return true;
    }

private:
    // --- failures ---------------------------------------------------------------------
    bool fail(const Path &path, const QString &why)
    {
        if (error.isEmpty())
            error = path.toString() + QStringLiteral(": ") + why;
        return false;
    }
    // A value of another type than the key takes; no value at all is a syntax error.
    bool wrongType(const Path &path, const QString &why)
    {
        if (peek() == Token::Bad)
            return syntax(QStringLiteral("a value was expected"));
        return fail(path, why);
    }
    bool syntax(const QString &why)
    {
        if (error.isEmpty())
            error = QStringLiteral("Invalid JSON at offset %1: %2").arg(m_p - m_begin).arg(why);
        return false;
    }

    // --- scanning ---------------------------------------------------------------------
    void skipBlanks()
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\n' || *m_p == '\r' || *m_p == '\t'))
            ++m_p;
    }
    bool at(char c)
    {
        skipBlanks();
        return m_p < m_end && *m_p == c;
    }
    bool take(char c)
    {
        if (!at(c))
            return false;
        ++m_p;
        return true;
    }


    static void appendUtf8(QByteArray &out, char32_t c)
    {
        if (c < 0x80) {
            out.append(char(c));
        } else if (c < 0x800) {
            out.append(char(0xC0 | (c >> 6)));
            out.append(char(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.append(char(0xE0 | (c >> 12)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        } else {
            out.append(char(0xF0 | (c >> 18)));
            out.append(char(0x80 | ((c >> 12) & 0x3F)));
            out.append(char(0x80 | ((c >> 6) & 0x3F)));
            out.append(char(0x80 | (c & 0x3F)));
        }
    }

    bool hex4(char32_t *value)
    {
        if (m_end - m_p < 4)
            return syntax(QStringLiteral("a \\u escape needs four hexadecimal digits"));
        char32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            const int d = ValueForms::hexDigit(m_p[i]);
            if (d < 0)
                return syntax(QStringLiteral("a \\u escape needs four hexadecimal digits"));
            v = v * 16 + char32_t(d);
        }
        m_p += 4;
        *value = v;
        return true;
    }

    // A JSON string as UTF-8 bytes; `ascii` tells whether all of them are below 128.
    bool string(QByteArray *out, bool *ascii)
    {
        QByteArrayView view;
        if (!string(&view, out, ascii))
            return false;
        if (view.data() != out->constData())
            *out = view.toByteArray();
        return true;
    }

    // The same as a view: into the JSON itself when the string holds no escape (most do),
    // else into `storage`.
    bool string(QByteArrayView *view, QByteArray *storage, bool *ascii)
    {
        if (!take('"'))
            return syntax(QStringLiteral("a string was expected"));
        *ascii = true;
        const char *start = m_p;
        const char *run = m_p;
        bool escaped = false;
        while (true) {
            while (m_p < m_end && *m_p != '"' && *m_p != '\\' && uchar(*m_p) >= 0x20) {
                if (uchar(*m_p) >= 0x80)
                    *ascii = false;
                ++m_p;
            }
            if (m_p >= m_end)
                return syntax(QStringLiteral("a string without its end"));
            if (*m_p == '"' && !escaped) {
                *view = QByteArrayView(start, m_p - start);
                ++m_p;
                break;
            }
            if (!escaped) {
                storage->clear();
                escaped = true;
            }
            storage->append(run, m_p - run);
            if (*m_p == '"') {
                ++m_p;
                *view = QByteArrayView(*storage);
                break;
            }
            if (uchar(*m_p) < 0x20)
                return syntax(QStringLiteral("a control character in a string"));
            // A backslash.
            if (++m_p >= m_end)
                return syntax(QStringLiteral("a string without its end"));
            QByteArray *out = storage;
            const char e = *m_p++;
            switch (e) {
            case '"': out->append('"'); break;
            case '\\': out->append('\\'); break;
            case '/': out->append('/'); break;
            case 'b': out->append('\b'); break;
            case 'f': out->append('\f'); break;
            case 'n': out->append('\n'); break;
            case 'r': out->append('\r'); break;
            case 't': out->append('\t'); break;
            case 'u': {
                char32_t c;
                if (!hex4(&c))
                    return false;
                if (c >= 0xD800 && c < 0xDC00) {
                    char32_t low;
                    if (m_end - m_p < 2 || m_p[0] != '\\' || m_p[1] != 'u')
                        return syntax(QStringLiteral("a lone surrogate in a \\u escape"));
                    m_p += 2;
                    if (!hex4(&low))
                        return false;
                    if (low < 0xDC00 || low >= 0xE000)
                        return syntax(QStringLiteral("a lone surrogate in a \\u escape"));
                    c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                } else if (c >= 0xDC00 && c < 0xE000) {
                    return syntax(QStringLiteral("a lone surrogate in a \\u escape"));
                }
                if (c >= 0x80)
                    *ascii = false;
                appendUtf8(*out, c);
                break;
            }
            default: return syntax(QStringLiteral("an unknown escape in a string"));
            }
            run = m_p;
        }
        if (!*ascii && !QUtf8StringView(*view).isValidUtf8())
            return syntax(QStringLiteral("a string that is not UTF-8"));
        return true;
    }

    // Skips any value (after a failure has been decided, or to reach the end).
    bool literal(const char *word)
    {
        const qsizetype n = qsizetype(qstrlen(word));
        if (m_end - m_p < n || std::memcmp(m_p, word, size_t(n)) != 0)
            return false;
        m_p += n;
        return true;
    }

    // Calls `member(key, path)` for each member of an object; `member` reads the value.
    template <typename Member>
    bool members(const Path &path, Member &&member)
    {
        if (!take('{'))
            return syntax(QStringLiteral("an object was expected"));
        if (take('}'))
            return true;
        while (true) {
            QByteArray key;
            bool ascii;
            if (!string(&key, &ascii))
                return false;
            if (!take(':'))
                return syntax(QStringLiteral("\":\" was expected"));
            const Path keyPath{&path, key, -1};
            if (!member(key, keyPath))
                return false;
            if (take(','))
                continue;
            if (take('}'))
                return true;
            return syntax(QStringLiteral("\",\" or \"}\" was expected"));
        }
    }

    // --- values -----------------------------------------------------------------------
    enum class Token { String, Number, True, False, Null, Array, Object, Bad };
    Token peek()
    {
        skipBlanks();
        if (m_p >= m_end)
            return Token::Bad;
        switch (*m_p) {
        case '"': return Token::String;
        case '[': return Token::Array;
        case '{': return Token::Object;
        case 't': return Token::True;
        case 'f': return Token::False;
        case 'n': return Token::Null;
        default: return (*m_p == '-' || (*m_p >= '0' && *m_p <= '9')) ? Token::Number : Token::Bad;
        }
    }

    bool boolean(const Path &path, bool *value)
    {
        const Token t = peek();
        if (t == Token::True && literal("true"))
            *value = true;
        else if (t == Token::False && literal("false"))
            *value = false;
        else
            return wrongType(path, QStringLiteral("not true or false"));
        return true;
    }

    bool integer(const Path &path, qint64 low, qint64 high, int *value)
    {
        if (peek() != Token::Number)
            return wrongType(path, QStringLiteral("not a number"));
        const char *start = m_p;
        if (*m_p == '-')
            ++m_p;
        const char *digits = m_p;
        while (m_p < m_end && *m_p >= '0' && *m_p <= '9')
            ++m_p;
        if (m_p == digits)
            return syntax(QStringLiteral("a number without digits"));
        bool whole = true;
        if (m_p < m_end && (*m_p == '.' || *m_p == 'e' || *m_p == 'E')) {
            whole = false;
            while (m_p < m_end && (std::strchr("0123456789.eE+-", *m_p) != nullptr))
                ++m_p;
        }
        if (!whole)
            return fail(path, QStringLiteral("not a whole number"));
        const QByteArray text(start, m_p - start);
        bool ok = false;
        const qint64 n = m_p - digits > 18 ? 0 : text.toLongLong(&ok);
        if (!ok || n < low || n > high)
            return fail(path, QStringLiteral("%1 is out of range (%2 to %3)").arg(QString::fromLatin1(text)).arg(low).arg(high));
        *value = int(n);
        return true;
    }

    // A text in the configuration's bytes. A text that is what `original` decodes to keeps
    // those bytes.
    bool text(const Path &path, bool multiLine, const QByteArray &original, QByteArray *bytes,
              QString *decoded = nullptr)
    {
        if (peek() != Token::String)
            return wrongType(path, QStringLiteral("not a string"));
        QByteArrayView utf8;
        bool ascii;
        if (!string(&utf8, &m_scratch, &ascii))
            return false;
        if (!multiLine && (utf8.contains('\r') || utf8.contains('\n')))
            return fail(path, QStringLiteral("a line break cannot stand here"));
        // Multi-line texts are stored as binary values and take any character, NUL included.
        if (!multiLine && utf8.contains('\0'))
            return fail(path, QStringLiteral("a NUL character cannot stand in the file"));
        if (const QString why = ItemKeys::refusedText(QString::fromUtf8(utf8), !multiLine); !why.isEmpty())
            return fail(path, why);
        if (decoded)
            *decoded = QString::fromUtf8(utf8);
        if (utf8 == QByteArrayView(original)) {
            // The same bytes as before: nothing to encode (the common case of `dump | apply`),
            // as long as the character set reads them as the text given.
            if (m_encoding.utf8 || (ascii && m_encoding.asciiSafe)) {
                *bytes = original;
                return true;
            }
        }
        if (m_encoding.utf8 || (ascii && m_encoding.asciiSafe)) {
            // The JSON's bytes are the stored form; an original that decodes to the same text
            // (bytes the character set cannot show) is kept.
            if (!original.isEmpty() && m_codec.decode(original) == QString::fromUtf8(utf8))
                *bytes = original;
            else
                *bytes = utf8.toByteArray();
            return true;
        }
        QString why;
        if (!ItemKeys::encodeText(decoded ? *decoded : QString::fromUtf8(utf8), original, m_codec, bytes, &why,
                                  multiLine))
            return fail(path, why);
        return true;
    }

    bool value(const ItemKeys::Key &key, Kind kind, int index, int k, const Path &path)
    {
        const bool haveCurrent = kind == Kind::Server || index < ItemKeys::count(m_current, kind);
        switch (key.form) {
        case Form::Integer: {
            // An account's port is taken as the item holds it; the server's values are what
            // the pages show, within the editor's ranges.
            const qint64 low = kind == Kind::Pop ? std::numeric_limits<int>::min() : key.min;
            const qint64 high = kind == Kind::Pop ? std::numeric_limits<int>::max() : key.max;
            int n = 0;
            if (!integer(path, low, high, &n))
                return false;
            ItemKeys::set(m_out, kind, index, k, n);
            return true;
        }
        case Form::Switch: {
            bool b = false;
            if (!boolean(path, &b))
                return false;
            ItemKeys::set(m_out, kind, index, k, b);
            return true;
        }
        case Form::Bytes: {
            if (peek() != Token::String)
                return wrongType(path, QStringLiteral("not a string"));
            QByteArray hex;
            bool ascii;
            if (!string(&hex, &ascii))
                return false;
            if (hex.size() % 2 != 0)
                return fail(path, QStringLiteral("not hexadecimal (an odd number of digits)"));
            QByteArray bytes(hex.size() / 2, Qt::Uninitialized);
            for (qsizetype i = 0; i < bytes.size(); ++i) {
                const int hi = ValueForms::hexDigit(hex[2 * i]);
                const int lo = ValueForms::hexDigit(hex[2 * i + 1]);
                if (hi < 0 || lo < 0)
                    return fail(path, QStringLiteral("not hexadecimal"));
                bytes[i] = char(hi * 16 + lo);
            }
            ItemKeys::set(m_out, kind, index, k, bytes);
            return true;
        }
        case Form::List: {
            if (peek() != Token::Array)
                return wrongType(path, QStringLiteral("not an array"));
            ++m_p;
            QByteArrayList before;
            if (haveCurrent)
                before = std::get<QByteArrayList>(ItemKeys::get(m_current, kind, index, k));
            QByteArrayList names;
            names.reserve(before.size());
            if (!take(']')) {
                while (true) {
                    const qsizetype i = names.size();
                    QByteArray bytes;
                    if (!text(Path{&path, {}, i}, false, i < before.size() ? before.at(i) : QByteArray(), &bytes))
                        return false;
                    names.append(bytes);
                    if (take(','))
                        continue;
                    if (take(']'))
                        break;
                    return syntax(QStringLiteral("\",\" or \"]\" was expected"));
                }
            }
            ItemKeys::set(m_out, kind, index, k, names);
            return true;
        }
        case Form::Text:
        case Form::Flag:
        case Form::MultiLine: {
            QByteArray original;
            if (haveCurrent)
                original = std::get<QByteArray>(ItemKeys::get(m_current, kind, index, k));
            QByteArray bytes;
            QString decoded;
            const bool groupName = kind == Kind::Group && QByteArrayView(key.name) == "Name";
            if (!text(path, key.form == Form::MultiLine, original, &bytes, groupName ? &decoded : nullptr))
                return false;
            // A name the configuration has already is no edit: `dump | apply` takes it back.
            if (groupName && !GroupName::passes(decoded) && !m_currentGroupNames.contains(bytes))
                return fail(path, GroupName::invalidMessage());
            ItemKeys::set(m_out, kind, index, k, bytes);
            return true;
        }
        }
        return false;
    }

    bool item(Kind kind, int index, const Path &path)
    {
        if (peek() != Token::Object)
            return wrongType(path, QStringLiteral("not an object"));
        const QList<ItemKeys::Key> &keys = ItemKeys::keys(kind);
        std::vector<char> seen(size_t(keys.size()), 0);
        const bool ok = members(path, [&](const QByteArray &key, const Path &keyPath) {
            int k = -1;
            for (int i = 0; i < keys.size(); ++i) {
                if (key == keys[i].name) {
                    k = i;
                    break;
                }
            }
            if (k < 0)
                return fail(keyPath, QStringLiteral("unknown key"));
            if (seen[size_t(k)])
                return fail(keyPath, QStringLiteral("stands twice"));
            seen[size_t(k)] = 1;
            return value(keys[k], kind, index, k, keyPath);
        });
        if (!ok)
            return false;
        for (int i = 0; i < keys.size(); ++i) {
            if (!seen[size_t(i)])
                return fail(Path{&path, keys[i].name, -1}, QStringLiteral("missing"));
        }
        return true;
    }

    bool items(Kind kind, const Path &path)
    {
        if (peek() != Token::Array)
            return wrongType(path, QStringLiteral("not an array"));
        ++m_p;
        if (take(']'))
            return true;
        for (int i = 0;; ++i) {
            switch (kind) {
            case Kind::Pop: m_out.pops.push_back(std::make_unique<TPop>()); break;
            case Kind::User: m_out.users.push_back(std::make_unique<TUser>()); break;
            case Kind::Group: m_out.groups.push_back(std::make_unique<TGroup>()); break;
            case Kind::Server: break;
            }
            if (!item(kind, i, Path{&path, {}, i}))
                return false;
            if (take(','))
                continue;
            if (take(']'))
                return true;
            return syntax(QStringLiteral("\",\" or \"]\" was expected"));
        }
    }

    const char *m_p;
    const char *m_end;
    const char *m_begin;
    const ConfigDocument &m_current;
    const TextCodec &m_codec;
    Encoding m_encoding;
    ConfigDocument &m_out;
    QSet<QByteArray> m_currentGroupNames;
    QByteArray m_scratch; // a string's bytes when it holds escapes
};

} // namespace

bool readConfigJson(const QByteArray &json, const ConfigDocument &current, const TextCodec &codec,
                    ConfigDocument *out, QString *error)
{
    ConfigDocument result;
    Reader reader(json, current, codec, result);
    if (!reader.readDocument()) {
        *error = reader.error;
        return false;
    }
    *out = std::move(result);
    return true;
}
