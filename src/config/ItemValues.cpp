// Values given as text on the command line (or decoded from JSON), checked and encoded the
// way the file holds them, then assigned to an item's key; and the other way, a key's value
// as `get` prints it.
#include "config/ItemKeys.h"

#include "config/ConfigCheck.h"
#include "config/GroupName.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"


namespace ItemKeys {

namespace {

bool hasLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
}

bool parseInteger(const QString &text, qint64 *number)
{
    if (text.isEmpty() || text.size() > 18)
        return false;
    bool ok = false;
    *number = text.toLongLong(&ok, 10);
    // toLongLong takes a leading "+" and blanks; a number here is digits with an optional "-".
    for (qsizetype i = 0; ok && i < text.size(); ++i) {
        const QChar c = text[i];
        if (!(c.isDigit() && c.unicode() < 128) && !(i == 0 && c == QLatin1Char('-') && text.size() > 1))
            ok = false;
    }
    return ok;
}

} // namespace

QString refusedText(const QString &text, bool oneLine)
{
    if (text.startsWith(QChar(0xFEFF)))
        return QStringLiteral("a text cannot begin with U+FEFF (it would be read as a byte-order mark)");
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    if (oneLine && !text.isEmpty() && (blank(text.front()) || blank(text.back())))
        return QStringLiteral("blanks at the start or end of %1 would be lost when the file is read")
            .arg(ConfigCheck::quoted(text));
    return {};
}

bool encodeText(const QString &text, const QByteArray &original, const TextCodec &codec, QByteArray *bytes,
                QString *error, bool binary)
{
    if (!binary && text.contains(QChar(0))) {
        *error = QStringLiteral("a NUL character cannot stand in the file");
        return false;
    }
    const QByteArray kept = codec.encodeKeeping(text, original);
    // The original bytes come back shared when they were kept; anything else was encoded
    // afresh and must decode to the very text (no character replaced on the way).
    if (kept.constData() != original.constData() && codec.decode(kept) != text) {
        *error = QStringLiteral("%1 cannot be written in the configuration's character set")
                     .arg(ConfigCheck::quoted(text));
        return false;
    }
    *bytes = kept;
    return true;
}

bool parseValue(const Key &key, const QStringList &args, const TextCodec &codec, const Value &original,
                Value *value, QString *error)
{
    if (key.form != Form::List && args.size() != 1) {
        *error = args.isEmpty() ? QStringLiteral("no value given") : QStringLiteral("takes one value, not %1").arg(args.size());
        return false;
    }
    switch (key.form) {
    case Form::Integer: {
        qint64 number = 0;
        if (!parseInteger(args.first(), &number)) {
            *error = QStringLiteral("%1 is not a number").arg(ConfigCheck::quoted(args.first()));
            return false;
        }
        if (number < key.min || number > key.max) {
            *error = QStringLiteral("%1 is out of range (%2 to %3)").arg(number).arg(key.min).arg(key.max);
            return false;
        }
        *value = int(number);
        return true;
    }
    case Form::Switch: {
        const QString t = args.first().toLower();
        if (t == QLatin1String("true") || t == QLatin1String("y"))
            *value = true;
        else if (t == QLatin1String("false") || t == QLatin1String("n"))
            *value = false;
        else {
            *error = QStringLiteral("%1 is not true, false, Y or N").arg(ConfigCheck::quoted(args.first()));
            return false;
        }
        return true;
    }
    case Form::Flag: {
        const QString t = args.first();
        if (t.compare(QLatin1String("Y"), Qt::CaseInsensitive) == 0)
            *value = QByteArray("Y");
        else if (t.compare(QLatin1String("N"), Qt::CaseInsensitive) == 0)
            *value = QByteArray("N");
        else {
            *error = QStringLiteral("%1 is not Y or N").arg(ConfigCheck::quoted(t));
            return false;
        }
        return true;
    }
    case Form::List: {
        const QByteArrayList *old = std::get_if<QByteArrayList>(&original);
        QByteArrayList names;
        for (qsizetype i = 0; i < args.size(); ++i) {
            if (hasLineBreak(args[i])) {
                *error = QStringLiteral("the name %1 holds a line break").arg(ConfigCheck::quoted(args[i]));
                return false;
            }
            if (const QString why = refusedText(args[i], false); !why.isEmpty()) {
                *error = why;
                return false;
            }
            QByteArray bytes;
            const QByteArray before = old && i < old->size() ? old->at(i) : QByteArray();
            if (!encodeText(args[i], before, codec, &bytes, error))
                return false;
            names.append(bytes);
        }
        *value = names;
        return true;
    }
    case Form::Text:
    case Form::MultiLine: {
        const QString &t = args.first();
        if (key.form == Form::Text && hasLineBreak(t)) {
            *error = QStringLiteral("a line break cannot stand in %1").arg(QLatin1String(key.name));
            return false;
        }
        if (const QString why = refusedText(t, key.form == Form::Text); !why.isEmpty()) {
            *error = why;
            return false;
        }
        const QByteArray *before = std::get_if<QByteArray>(&original);
        QByteArray bytes;
        if (!encodeText(t, before ? *before : QByteArray(), codec, &bytes, error, key.form == Form::MultiLine))
            return false;
        *value = bytes;
        return true;
    }
    case Form::Bytes:
        *error = QStringLiteral("%1 is a password: use passwd").arg(QLatin1String(key.name));
        return false;
    }
    return false;
}

bool assign(ConfigDocument &doc, Kind kind, int index, int key, const QStringList &args, const TextCodec &codec,
            QString *error)
{
    const Key &k = keys(kind)[key];
    const QString path = (kind == Kind::Server ? QStringLiteral("server") : positionAddress(kind, index))
                         + QLatin1Char('.') + QLatin1String(k.name);
    if (!k.settable) {
        *error = k.form == Form::Bytes ? QStringLiteral("%1 is a password: use passwd").arg(path)
                                       : QStringLiteral("%1 is written by the program").arg(path);
        return false;
    }
    const Value original = get(doc, kind, index, key);
    Value value;
    QString why;
    if (!parseValue(k, args, codec, original, &value, &why)) {
        *error = path + QStringLiteral(": ") + why;
        return false;
    }
    if (kind == Kind::Group && key == findKey(Kind::Group, u"Name")) {
        const QString name = args.first();
        if (name.isEmpty()) {
            *error = path + QStringLiteral(": a group needs a name");
            return false;
        }
        if (!GroupName::passes(name)) {
            *error = path + QStringLiteral(": ") + GroupName::invalidMessage();
            return false;
        }
    }
    set(doc, kind, index, key, value);
    // Names are how scripts and the other items find an item: a second one of the same name
    // would make both unreachable by name.
    const bool naming = (kind == Kind::User || kind == Kind::Group) ? QByteArrayView(k.name) == "Name"
                        : kind == Kind::Pop ? (QByteArrayView(k.name) == "UserID" || QByteArrayView(k.name) == "Host")
                                            : false;
    if (naming) {
        const QList<int> others = itemsNamed(doc, kind, itemName(doc, kind, index), codec, index);
        if (!others.isEmpty()) {
            *error = QStringLiteral("%1: %2 is already named %3")
                         .arg(path, positionAddress(kind, others.first()),
                              ConfigCheck::quoted(codec.decode(itemName(doc, kind, index))));
            set(doc, kind, index, key, original);
            return false;
        }
    }
    return true;
}

QString formatValue(Form form, const Value &value, const TextCodec &codec)
{
    switch (form) {
    case Form::Integer: return QString::number(std::get<int>(value)) + QLatin1Char('\n');
    case Form::Switch: return (std::get<bool>(value) ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char('\n');
    case Form::Bytes: return QString::fromLatin1(ValueForms::encodeBinary(std::get<QByteArray>(value))) + QLatin1Char('\n');
    case Form::List: {
        QString out;
        for (const QByteArray &n : std::get<QByteArrayList>(value))
            out += codec.decode(n) + QLatin1Char('\n');
        return out;
    }
    case Form::Text:
    case Form::MultiLine:
    case Form::Flag: return codec.decode(std::get<QByteArray>(value)) + QLatin1Char('\n');
    }
    return {};
}

} // namespace ItemKeys
