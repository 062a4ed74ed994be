#pragma once

#include "config/ConfigDocument.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <variant>
#include <vector>

class JsonWriter;
class TextCodec;

// The keys of the server and the items as quilmora-config's administration commands see
// them: names as in `dump`, in its order, with each key's form, the editor's range of an
// integer and whether `set` may change it. `get`, `set`, `add`, `apply` and `diff` all
// work from this one table.
namespace ItemKeys {

enum class Kind { Server, Pop, User, Group };

enum class Form {
    Text,      // one line of text
    MultiLine, // lines joined by CR LF (auto-reply body, key list)
    Integer,
    Switch,    // true / false
    Flag,      // "Y" / "N", held as read
    List,      // names
    Bytes,     // passwords and digests, shown as upper-case hexadecimal
};

struct Key
{
    const char *name;
    Form form;
    int min = 0;     // Integer: the editor's range, which `set` enforces
    int max = 0;
    bool settable = true; // false: a password (use passwd) or the program's own Version
    // How the editor's window shows the key, for every front end that builds its own form
    // from this table (`schema --json`, the web page): the caption beside the control (or the
    // check box's, the radio group's), its hint, the page's heading, the group box or tab
    // the control stands in, the control's object name and a radio group's items. "" where the window has none.
    const char *caption = "";
    const char *hint = "";
    const char *page = "";
    const char *box = "";
    const char *control = "";
    const char *choices = ""; // a radio group's items, separated by "|", its index the value
};

// The form's word in `schema --json`: "text", "multiline", "integer", "switch", "flag",
// "list", "bytes".
const char *formName(Form form);

using Value = std::variant<int, bool, QByteArray, QByteArrayList>;

const QList<Key> &keys(Kind kind);
// The key of that name, letter case ignored; -1 when the kind has none.
int findKey(Kind kind, QStringView name);

QString kindWord(Kind kind);   // "server", "pop", "user", "group"
QString kindPlural(Kind kind); // "accounts", "users", "groups"
int count(const ConfigDocument &doc, Kind kind);

// A key's value. A membership list comes decoded afresh, not kept decoded in the item.
Value get(const ConfigDocument &doc, Kind kind, int index, int key);
// Whether a key holds the same value in two items (or two servers' settings), as
// get(a, ...) == get(b, ...), without decoding membership lists.
bool sameValue(const ConfigDocument &a, int ia, const ConfigDocument &b, int ib, Kind kind, int key);
void set(ConfigDocument &doc, Kind kind, int index, int key, const Value &value);
// A list key's names, in order, as views into the item's own bytes, or into `held` for a
// name that is not stored as it reads (one with quotes); they stay valid while the item and
// `held` are unchanged. Appends to `names` and `held`.
void listNames(const ConfigDocument &doc, Kind kind, int index, int key, std::vector<QByteArrayView> *names,
               QByteArrayList *held);
// Gives `to`'s item the value `from`'s item holds for that key, as it is held there: a
// membership list kept as its stored value stays one (set() with get()'s value, without
// decoding and encoding the names again).
void copyValue(const ConfigDocument &from, int fromIndex, ConfigDocument &to, int toIndex, Kind kind, int key);

// The name an item is addressed by: a user's or group's Name, an account's UserID/Host.
QByteArray itemName(const ConfigDocument &doc, Kind kind, int index);

// The item as `dump` prints it, as one JSON object. Without `secrets` the passwords and
// digests (the Bytes keys) are left out altogether.
void writeItemJson(JsonWriter &json, const ConfigDocument &doc, Kind kind, int index, const TextCodec &codec,
                   const char *key = nullptr, bool secrets = true);
void writeValueJson(JsonWriter &json, const char *key, Form form, const Value &value, const TextCodec &codec);

// An item, or the server, or one of their keys, as the command line names it.
struct Address
{
    Kind kind = Kind::Server;
    int index = -1; // position among its kind, from 0; -1 for the server
    int key = -1;   // -1: the item itself
    bool smtp = false; // "server.smtp" (passwd only)
};

// Parses and resolves `server[.KEY]`, `user:NAME[.KEY]`, `group:NAME[.KEY]`,
// `pop:USERID/HOST[.KEY]` and `KIND:#N[.KEY]` against the configuration. Names compare
// ignoring letter case. Fails with why: an unknown kind, key or item, a name two items
// have ("2 groups are named sales: group:#1, group:#4").
// With `preferItem` (commands that take an item, not a key: remove, passwd) an item whose
// whole name is the text comes before splitting a key off its end.
bool resolve(const QString &text, const ConfigDocument &doc, const TextCodec &codec, Address *address,
             QString *error, bool allowSmtp = false, bool preferItem = false);

// The item lists (ConfigDocument::ItemParts) that resolving `text` can look at: the one
// kind it names, none for the server or a text that names no kind.
int partsNamed(const QString &text);

// The positions of the items of `kind` whose name is `name`, letter case ignored.
QList<int> itemsNamed(const ConfigDocument &doc, Kind kind, const QByteArray &name, const TextCodec &codec,
                      int except = -1);

// "group:#5"
QString positionAddress(Kind kind, int index);
// "group:sales.Users", for messages
QString keyPath(const Address &address, const ConfigDocument &doc, const TextCodec &codec);

// Parses a value for `set` and `add`: integers within the editor's range, switches
// true/false/Y/N, flags Y/N, a list's names, a text without line breaks that the
// configuration's character set can hold. `original` keeps the bytes of an unchanged text.
bool parseValue(const Key &key, const QStringList &args, const TextCodec &codec, const Value &original,
                Value *value, QString *error);

// Sets a key of an item as `set` and `add` do: the value parsed as above, a group's Name
// passing the editor's name check, and no name that another item of the kind has.
// `error` says why when it refuses; the item is then unchanged.
bool assign(ConfigDocument &doc, Kind kind, int index, int key, const QStringList &args, const TextCodec &codec,
            QString *error);

// The text `get` prints: a text as decoded, a list one name a line, bytes as hexadecimal,
// a switch as true/false. Ends with a line break.
QString formatValue(Form form, const Value &value, const TextCodec &codec);

// Encodes a text in the configuration's character set, keeping `original` when the text is
// what it decodes to. Fails when the character set cannot hold the text.
// `binary`: the text is stored as a binary value and may hold a NUL.
bool encodeText(const QString &text, const QByteArray &original, const TextCodec &codec, QByteArray *bytes,
                QString *error, bool binary = false);

// Why the file cannot hold the text exactly as given, or "" when it can: a leading U+FEFF
// (the decoder takes it for a byte-order mark) and, for a one-line text (`oneLine`), blanks
// or tabs at either end (the reader trims them).
QString refusedText(const QString &text, bool oneLine);

} // namespace ItemKeys
