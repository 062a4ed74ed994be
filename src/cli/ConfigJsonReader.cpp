#include "cli/ConfigJsonReader.h"

#include "cli/ItemKeys.h"
#include "config/ConfigCheck.h"
#include "config/ConfigDocument.h"
#include "config/GroupName.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"

#include <QHash>
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
          m_current(current), m_codec(codec), m_encoding(codec), m_out(out), m_target(&out)
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
        bool seenSha256 = false;
        bool ok = members(root, [&](const QByteArray &key, const Path &path) {
            // What dump --sha256 adds: a dump can be applied back as it is.
            if (key == "sha256") {
                QByteArray ignored;
                bool ascii;
                return once(seenSha256, path) && (peek() == Token::String ? string(&ignored, &ascii)
                                                                          : wrongType(path, QStringLiteral("not a string")));
            }
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
    // A text into `bytes`, or, when it stands for exactly the bytes of `original`, only
    // `*kept` set (the caller keeps its own copy of those bytes).
    bool text(const Path &path, bool multiLine, QByteArrayView original, QByteArray *bytes, bool *kept,
              QString *decoded = nullptr)
    {
        *kept = false;
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
        // The check's refusals show in the bytes (a U+FEFF first, a blank first or last in
        // one line; a byte that is no UTF-8 decodes to neither), so most texts are decoded
        // only when the caller asks. Decoded with a leading U+FEFF kept (a plain decode drops
        // it as a byte order mark), so that the check sees it.
        const bool byteOrderMark = utf8.startsWith("\xEF\xBB\xBF");
        const auto blank = [](char c) { return c == ' ' || c == '\t'; };
        const bool suspect = byteOrderMark || (!multiLine && !utf8.isEmpty() && (blank(utf8.front()) || blank(utf8.back())));
        if (suspect || decoded) {
            const QString text = byteOrderMark ? QChar(0xFEFF) + QString::fromUtf8(utf8.sliced(3)) : QString::fromUtf8(utf8);
            if (const QString why = ItemKeys::refusedText(text, !multiLine); !why.isEmpty())
                return fail(path, why);
            if (decoded)
                *decoded = text;
        }
        if (utf8 == original) {
            // The same bytes as before: nothing to encode (the common case of `dump | apply`),
            // as long as the character set reads them as the text given.
            if (m_encoding.utf8 || (ascii && m_encoding.asciiSafe)) {
                *kept = true;
                return true;
            }
        }
        if (m_encoding.utf8 || (ascii && m_encoding.asciiSafe)) {
            // The JSON's bytes are the stored form; an original that decodes to the same text
            // (bytes the character set cannot show) is kept.
            if (!original.isEmpty() && m_codec.decode(original) == QString::fromUtf8(utf8))
                *kept = true;
            else
                *bytes = utf8.toByteArray();
            return true;
        }
        QString why;
        if (!ItemKeys::encodeText(decoded ? *decoded : QString::fromUtf8(utf8), original.toByteArray(), m_codec,
                                  bytes, &why, multiLine))
            return fail(path, why);
        return true;
    }

    bool value(const ItemKeys::Key &key, Kind kind, int index, int k, const Path &path)
    {
        const bool haveCurrent = !m_scratch_pass && (kind == Kind::Server || index < ItemKeys::count(m_current, kind));
        switch (key.form) {
        case Form::Integer: {
            // An account's port is taken as the item holds it; the server's values are what
            // the pages show, within the editor's ranges.
            const qint64 low = kind == Kind::Pop ? std::numeric_limits<int>::min() : key.min;
            const qint64 high = kind == Kind::Pop ? std::numeric_limits<int>::max() : key.max;
            int n = 0;
            if (!integer(path, low, high, &n))
                return false;
            ItemKeys::set(*m_target, kind, index, k, n);
            return true;
        }
        case Form::Switch: {
            bool b = false;
            if (!boolean(path, &b))
                return false;
            ItemKeys::set(*m_target, kind, index, k, b);
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
            ItemKeys::set(*m_target, kind, index, k, bytes);
            return true;
        }
        case Form::List: {
            if (peek() != Token::Array)
                return wrongType(path, QStringLiteral("not an array"));
            ++m_p;
            // The item's names as views; while the JSON gives the same names, in the same
            // order, no list is made: the item keeps its value as it is held (a long
            // membership list as its one stored value).
            m_before.clear();
            m_beforeHeld.clear();
            if (haveCurrent)
                ItemKeys::listNames(m_current, kind, index, k, &m_before, &m_beforeHeld);
            const qsizetype beforeCount = qsizetype(m_before.size());
            QByteArrayList names;
            bool same = true; // the names so far are the item's first ones
            const auto takeBefore = [&](qsizetype count) {
                names.reserve(std::max(beforeCount, count + 1));
                for (qsizetype j = 0; j < count; ++j)
                    names.append(m_before[size_t(j)].toByteArray());
            };
            qsizetype count = 0;
            if (!take(']')) {
                while (true) {
                    const qsizetype i = count;
                    const QByteArrayView original = i < beforeCount ? m_before[size_t(i)] : QByteArrayView();
                    QByteArray bytes;
                    bool kept;
                    if (!text(Path{&path, {}, i}, false, original, &bytes, &kept))
                        return false;
                    if (same && !(kept && i < beforeCount)) {
                        same = false;
                        takeBefore(i);
                    }
                    if (!same)
                        names.append(kept ? original.toByteArray() : bytes);
                    ++count;
                    if (take(','))
                        continue;
                    if (take(']'))
                        break;
                    return syntax(QStringLiteral("\",\" or \"]\" was expected"));
                }
            }
            if (same && haveCurrent && count == beforeCount) {
                ItemKeys::copyValue(m_current, index, *m_target, index, kind, k);
                return true;
            }
            if (same)
                takeBefore(count);
            ItemKeys::set(*m_target, kind, index, k, names);
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
            bool kept;
            if (!text(path, key.form == Form::MultiLine, original, &bytes, &kept, groupName ? &decoded : nullptr))
                return false;
            if (kept)
                bytes = original;
            // A name the configuration has already is no edit: `dump | apply` takes it back.
            if (groupName && !GroupName::passes(decoded) && !m_currentGroupNames.contains(bytes))
                return fail(path, GroupName::invalidMessage());
            ItemKeys::set(*m_target, kind, index, k, bytes);
            return true;
        }
        }
        return false;
    }

    bool item(Kind kind, int index, const Path &path, bool partial = false)
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
        for (int i = 0; i < keys.size() && !partial; ++i) {
            if (!seen[size_t(i)])
                return fail(Path{&path, keys[i].name, -1}, QStringLiteral("missing"));
        }
        m_seen = std::move(seen);
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
    ConfigDocument *m_target; // where value() puts what it reads: m_out, or a scratch item
    bool m_scratch_pass = false; // reading into a scratch item: no current item to keep bytes of
    QSet<QByteArray> m_currentGroupNames;
    QByteArray m_scratch; // a string's bytes when it holds escapes
    std::vector<char> m_seen; // the keys the last item() read
    std::vector<QByteArrayView> m_before; // a list key's names as the current item holds them
    QByteArrayList m_beforeHeld; // those of them not held as they read

public:
    // --- apply --merge ----------------------------------------------------------------
    // m_out holds a copy of the current configuration; the changes are read into it.
    bool readMerge()
    {
        skipBlanks();
        if (!at('{'))
            return syntax(QStringLiteral("the JSON is not one object of changes"));
        bool seen[7] = {};
        const Path root;
        const auto once = [&](int i, const Path &path) {
            if (seen[i])
                return fail(path, QStringLiteral("stands twice"));
            seen[i] = true;
            return true;
        };
        bool ok = members(root, [&](const QByteArray &key, const Path &path) {
            if (key == "server")
                return once(0, path) && mergeServer(path);
            if (key == "pops")
                return once(1, path) && mergeItems(Kind::Pop, path);
            if (key == "users")
                return once(2, path) && mergeItems(Kind::User, path);
            if (key == "groups")
                return once(3, path) && mergeItems(Kind::Group, path);
            if (key == "remove")
                return once(4, path) && removals(path);
            if (key == "exclusive")
                return once(5, path) && exclusiveKinds(path);
            if (key == "sha256") {
                QByteArray ignored;
                bool ascii;
                return once(6, path) && (peek() == Token::String ? string(&ignored, &ascii)
                                                                 : wrongType(path, QStringLiteral("not a string")));
            }
            return fail(path, QStringLiteral("unknown key"));
        });
        if (!ok)
            return false;
        skipBlanks();
        if (m_p != m_end)
            return syntax(QStringLiteral("text after the object"));
        return finishRemovals();
    }

    // Groups whose data folder goes with them ("withData"), by name as the file holds it.
    QList<QByteArray> removedGroupData;
    MergeScope scope;

private:
    struct Removal
    {
        QString address;
        bool withData = false;
        qsizetype index; // its place in "remove"
    };
    QList<Removal> m_removals;
    QList<Kind> m_exclusive;
    // The items each list named or made, by kind.
    QSet<int> m_touched[4];
    // The items of each kind by case-folded name, made when a list of that kind is read.
    QHash<QString, QList<int>> m_byName[4];
    bool m_indexed[4] = {};

    static int slot(Kind kind) { return int(kind); }

    QString foldedName(Kind kind, int index) const
    {
        return m_codec.decode(ItemKeys::itemName(m_out, kind, index)).toCaseFolded();
    }

    bool mergeServer(const Path &path)
    {
        if (peek() != Token::Object)
            return wrongType(path, QStringLiteral("not an object"));
        const QList<ItemKeys::Key> &keys = ItemKeys::keys(Kind::Server);
        std::vector<char> seen(size_t(keys.size()), 0);
        return members(path, [&](const QByteArray &key, const Path &keyPath) {
            const int k = keyIndex(keys, key);
            if (k < 0)
                return fail(keyPath, QStringLiteral("unknown key"));
            if (seen[size_t(k)])
                return fail(keyPath, QStringLiteral("stands twice"));
            seen[size_t(k)] = 1;
            if (!keys[k].settable && keys[k].form != Form::Bytes)
                return fail(keyPath, QStringLiteral("written by the program"));
            return value(keys[k], Kind::Server, -1, k, keyPath);
        });
    }

    static int keyIndex(const QList<ItemKeys::Key> &keys, const QByteArray &key)
    {
        for (int i = 0; i < keys.size(); ++i) {
            if (key == keys[i].name)
                return i;
        }
        return -1;
    }

    void index(Kind kind)
    {
        if (m_indexed[slot(kind)])
            return;
        m_indexed[slot(kind)] = true;
        const int n = ItemKeys::count(m_out, kind);
        QHash<QString, QList<int>> &byName = m_byName[slot(kind)];
        byName.reserve(n);
        for (int i = 0; i < n; ++i)
            byName[foldedName(kind, i)].append(i);
    }

    // A new item with the values the editor's Add gives (as `add` makes it).
    int appendDefault(Kind kind)
    {
        switch (kind) {
        case Kind::Pop: {
            auto pop = std::make_unique<TPop>();
            pop->Port = 110;
            pop->AutoReply = "N";
            pop->AssignOutboundID = "N";
            m_out.pops.push_back(std::move(pop));
            return int(m_out.pops.size()) - 1;
        }
        case Kind::User: m_out.users.push_back(std::make_unique<TUser>()); return int(m_out.users.size()) - 1;
        case Kind::Group: {
            auto group = std::make_unique<TGroup>();
            group->ReadOnly = "N";
            m_out.groups.push_back(std::move(group));
            return int(m_out.groups.size()) - 1;
        }
        case Kind::Server: break;
        }
        return -1;
    }

    // Each element is read twice: once into a scratch item to learn its name, then into the
    // item of that name (or a new one), so that keys not given stay as they are and a text
    // given as it was keeps its bytes.
    bool mergeItems(Kind kind, const Path &path)
    {
        if (peek() != Token::Array)
            return wrongType(path, QStringLiteral("not an array"));
        ++m_p;
        if (take(']'))
            return true;
        index(kind);
        const QList<ItemKeys::Key> &keys = ItemKeys::keys(kind);
        for (int i = 0;; ++i) {
            const Path itemPath{&path, {}, i};
            if (peek() != Token::Object)
                return wrongType(itemPath, QStringLiteral("not an object"));
            const char *start = m_p;
            ConfigDocument scratch;
            switch (kind) {
            case Kind::Pop: scratch.pops.push_back(std::make_unique<TPop>()); break;
            case Kind::User: scratch.users.push_back(std::make_unique<TUser>()); break;
            case Kind::Group: scratch.groups.push_back(std::make_unique<TGroup>()); break;
            case Kind::Server: break;
            }
            m_target = &scratch;
            m_scratch_pass = true;
            const bool read = item(kind, 0, itemPath, true);
            m_target = &m_out;
            m_scratch_pass = false;
            if (!read)
                return false;
            // The identity: Name, or an account's UserID and Host.
            const QList<const char *> identities =
                kind == Kind::Pop ? QList<const char *>{"UserID", "Host"} : QList<const char *>{"Name"};
            for (const char *identity : identities) {
                if (!m_seen[size_t(keyIndex(keys, identity))])
                    return fail(Path{&itemPath, identity, -1}, QStringLiteral("missing (items are matched by it)"));
            }
            const QByteArray name = ItemKeys::itemName(scratch, kind, 0);
            if (kind != Kind::Pop && name.isEmpty())
                return fail(Path{&itemPath, "Name", -1}, kind == Kind::Group ? QStringLiteral("a group needs a name")
                                                                             : QStringLiteral("a user needs a name"));
            const QString folded = m_codec.decode(name).toCaseFolded();
            QList<int> &same = m_byName[slot(kind)][folded];
            if (same.size() > 1)
                return fail(itemPath, QStringLiteral("%1 items of this kind are named %2: %3, %4")
                                          .arg(same.size())
                                          .arg(ConfigCheck::quoted(m_codec.decode(name)),
                                               ItemKeys::positionAddress(kind, same[0]),
                                               ItemKeys::positionAddress(kind, same[1])));
            int target;
            if (same.isEmpty()) {
                target = appendDefault(kind);
                same.append(target);
            } else {
                target = same.first();
                if (m_touched[slot(kind)].contains(target))
                    return fail(itemPath, QStringLiteral("%1 stands twice in this list").arg(ConfigCheck::quoted(m_codec.decode(name))));
            }
            m_touched[slot(kind)].insert(target);
            m_p = start;
            if (!item(kind, target, itemPath, true))
                return false;
            if (take(','))
                continue;
            if (take(']'))
                return true;
            return syntax(QStringLiteral("\",\" or \"]\" was expected"));
        }
    }

    bool removals(const Path &path)
    {
        if (peek() != Token::Array)
            return wrongType(path, QStringLiteral("not an array"));
        ++m_p;
        if (take(']'))
            return true;
        for (qsizetype i = 0;; ++i) {
            const Path itemPath{&path, {}, i};
            Removal r{QString(), false, i};
            QByteArray text;
            bool ascii;
            if (peek() == Token::String) {
                if (!string(&text, &ascii))
                    return false;
            } else if (peek() == Token::Object) {
                bool seenItem = false, seenData = false;
                const bool ok = members(itemPath, [&](const QByteArray &key, const Path &keyPath) {
                    if (key == "item") {
                        if (seenItem)
                            return fail(keyPath, QStringLiteral("stands twice"));
                        seenItem = true;
                        return peek() == Token::String ? string(&text, &ascii) : wrongType(keyPath, QStringLiteral("not a string"));
                    }
                    if (key == "withData") {
                        if (seenData)
                            return fail(keyPath, QStringLiteral("stands twice"));
                        seenData = true;
                        return boolean(keyPath, &r.withData);
                    }
                    return fail(keyPath, QStringLiteral("unknown key"));
                });
                if (!ok)
                    return false;
                if (!seenItem)
                    return fail(Path{&itemPath, "item", -1}, QStringLiteral("missing"));
            } else {
                return wrongType(itemPath, QStringLiteral("not a string or an object"));
            }
            r.address = QString::fromUtf8(text);
            m_removals.append(r);
            if (take(','))
                continue;
            if (take(']'))
                return true;
            return syntax(QStringLiteral("\",\" or \"]\" was expected"));
        }
    }

    bool exclusiveKinds(const Path &path)
    {
        if (peek() != Token::Array)
            return wrongType(path, QStringLiteral("not an array"));
        ++m_p;
        if (take(']'))
            return true;
        for (qsizetype i = 0;; ++i) {
            const Path itemPath{&path, {}, i};
            QByteArray word;
            bool ascii;
            if (peek() != Token::String)
                return wrongType(itemPath, QStringLiteral("not a string"));
            if (!string(&word, &ascii))
                return false;
            if (word == "users")
                m_exclusive.append(Kind::User);
            else if (word == "groups")
                m_exclusive.append(Kind::Group);
            else if (word == "pops")
                m_exclusive.append(Kind::Pop);
            else
                return fail(itemPath, QStringLiteral("not users, groups or pops"));
            if (take(','))
                continue;
            if (take(']'))
                return true;
            return syntax(QStringLiteral("\",\" or \"]\" was expected"));
        }
    }

    // The removals, resolved against the configuration with the lists' items in place; an
    // item named that does not exist is already gone, which is what was wanted.
    bool finishRemovals()
    {
        std::vector<std::vector<char>> gone(4);
        for (const Kind kind : {Kind::Pop, Kind::User, Kind::Group})
            gone[size_t(slot(kind))].assign(size_t(ItemKeys::count(m_out, kind)), 0);
        QList<std::pair<Kind, int>> withData;
        const Path removePath{nullptr, "remove", -1};
        for (const Removal &r : std::as_const(m_removals)) {
            const Path rPath{&removePath, {}, r.index};
            ItemKeys::Address a;
            QString why;
            if (!ItemKeys::resolve(r.address, m_out, m_codec, &a, &why, false, true)) {
                // Only "no such item" is no error: a name the configuration does not have.
                const qsizetype colon = r.address.indexOf(QLatin1Char(':'));
                const QString word = r.address.left(colon);
                const Kind kind = word == QLatin1String("user") ? Kind::User
                                  : word == QLatin1String("group") ? Kind::Group
                                                                   : Kind::Pop;
                const bool known = colon > 0 && (word == QLatin1String("user") || word == QLatin1String("group")
                                                 || word == QLatin1String("pop"));
                QString name = r.address.mid(colon + 1);
                if (known && !name.startsWith(QLatin1Char('#'))) {
                    if (name.startsWith(QLatin1Char('=')))
                        name.remove(0, 1);
                    index(kind);
                    if (!m_byName[slot(kind)].contains(name.toCaseFolded()))
                        continue;
                }
                return fail(rPath, why);
            }
            if (a.kind == Kind::Server || a.key >= 0)
                return fail(rPath, QStringLiteral("Not an item: %1").arg(r.address));
            if (r.withData && a.kind != Kind::Group)
                return fail(rPath, QStringLiteral("withData removes a group's data: it needs a group"));
            gone[size_t(slot(a.kind))][size_t(a.index)] = 1;
            if (r.withData)
                withData.append({a.kind, a.index});
        }
        for (const Kind kind : std::as_const(m_exclusive)) {
            const int n = ItemKeys::count(m_out, kind);
            for (int i = 0; i < n; ++i) {
                if (!m_touched[slot(kind)].contains(i))
                    gone[size_t(slot(kind))][size_t(i)] = 1;
            }
        }
        for (const auto &[kind, i] : std::as_const(withData))
            removedGroupData.append(m_out.groups[size_t(i)]->Name);
        const auto sweep = [&](auto &items, Kind kind) {
            const std::vector<char> &g = gone[size_t(slot(kind))];
            const size_t had = size_t(ItemKeys::count(m_current, kind));
            MergeScope::Items &s = scope.items[slot(kind)];
            s.removed.assign(had, 0);
            size_t w = 0;
            for (size_t r = 0; r < items.size(); ++r) {
                if (g[r]) {
                    if (r < had)
                        s.removed[r] = 1;
                    continue;
                }
                items[w++] = std::move(items[r]);
                s.origin.push_back(r < had ? int(r) : -1);
                s.touched.push_back(m_touched[slot(kind)].contains(int(r)) ? 1 : 0);
            }
            items.resize(w);
        };
        sweep(m_out.pops, Kind::Pop);
        sweep(m_out.users, Kind::User);
        sweep(m_out.groups, Kind::Group);
        return true;
    }
};

} // namespace

bool readConfigMerge(const QByteArray &json, const ConfigDocument &current, const TextCodec &codec,
                     ConfigDocument *out, QList<QByteArray> *removedGroupData, QString *error, MergeScope *scope)
{
    ConfigDocument result;
    result.server = current.server;
    result.oldFormat = current.oldFormat;
    result.pops.reserve(current.pops.size());
    for (const auto &p : current.pops)
        result.pops.push_back(std::make_unique<TPop>(*p));
    result.users.reserve(current.users.size());
    for (const auto &u : current.users)
        result.users.push_back(std::make_unique<TUser>(*u));
    result.groups.reserve(current.groups.size());
    for (const auto &g : current.groups)
        result.groups.push_back(std::make_unique<TGroup>(*g));
    Reader reader(json, current, codec, result);
    if (!reader.readMerge()) {
        *error = reader.error;
        return false;
    }
    *removedGroupData = reader.removedGroupData;
    if (scope)
        *scope = std::move(reader.scope);
    *out = std::move(result);
    return true;
}

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
