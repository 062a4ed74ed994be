#pragma once

#include "config/ItemKeys.h"

#include <QByteArray>
#include <QList>
#include <functional>

class ConfigDocument;
class JsonWriter;
class TextCodec;

// What differs between two configurations: server keys, items only in one of them (matched
// by name, letter case ignored; the n-th of equal names with the n-th), and keys that differ
// in items present in both. `diff` prints it, `apply --dry-run` prints what it would change, and the editor's
// review window lists it.
namespace ConfigDiff {

struct Entry
{
    enum class Type { Changed, Removed, Added };
    Type type = Type::Changed;
    ItemKeys::Kind kind = ItemKeys::Kind::Server;
    QByteArray name; // the item's name (empty for the server)
    int key = -1;    // Changed: the key
    ItemKeys::Value from, to;
};

QList<Entry> compare(const ConfigDocument &a, const ConfigDocument &b, const TextCodec &codec);
// The same entries, in the same order, handed to `sink` one by one as they are found: a
// reader that prints them keeps none.
void compare(const ConfigDocument &a, const ConfigDocument &b, const TextCodec &codec,
             const std::function<void(const Entry &)> &sink);

// One change as `diff` words it, without the line break. With `hideSecrets`, passwords and
// digests show as "(changed)" instead of their bytes (for a window).
QString describe(const Entry &entry, const TextCodec &codec, bool hideSecrets = false);

// One change a line: "~ server.Port: 119 -> 120", "- user:bob", "+ group:sales"; values as
// in JSON, so control characters show escaped.
QByteArray text(const QList<Entry> &entries, const TextCodec &codec);
// One JSON array of {"change", "item"[, "key", "from", "to"]}.
QByteArray json(const QList<Entry> &entries, const TextCodec &codec);
// One member of that array, written into an array `json` holds open.
void writeJson(JsonWriter &json, const Entry &entry, const TextCodec &codec);

} // namespace ConfigDiff
