#pragma once

#include <QByteArray>
#include <QList>
#include <vector>
#include <QString>

class ConfigDocument;
class TextCodec;

// Reads a configuration given as one JSON object of `dump`'s schema, for `apply`. Every
// field is checked before anything is taken: the first bad one fails with its JSON path
// ("users[3].Pass: not hexadecimal"). Every key must be there and no other.
//
// Texts are encoded in the configuration's character set; a text that is what the same
// field of `current` decodes to keeps those bytes, so `dump | apply` changes no byte. A
// group name the editor's name check refuses is taken only when `current` has a group of
// that very name already.
bool readConfigJson(const QByteArray &json, const ConfigDocument &current, const TextCodec &codec,
                    ConfigDocument *out, QString *error);

// Reads the changes `apply --merge` takes into a copy of `current`:
//   {"server": {KEY: VALUE}, "users": [{"Name": ..., KEY: VALUE}], "groups": [...],
//    "pops": [{"UserID": ..., "Host": ..., KEY: VALUE}],
//    "remove": ["user:tom", {"item": "group:old", "withData": true}],
//    "exclusive": ["users", "groups", "pops"]}
// Every member is optional. Items are matched by name, letter case ignored; keys not given
// stay as they are; an item not there is made with the defaults the editor's Add gives,
// then the keys given. Values are read and checked as readConfigJson reads them. The
// removals and the kinds made exclusive apply after the lists; an item to remove that is
// not there is no error. `removedGroupData` gets the names of the groups removed with
// "withData".
// What a merge touched, so that what changed can be told from those items alone: for each
// kind (indexed as ItemKeys::Kind), for every item of the result the position it had in
// `current` (-1: new) and whether a list named it, and for every item of `current`
// whether it was removed. Untouched items are copies of the current ones.
struct MergeScope
{
    struct Items
    {
        std::vector<int> origin;
        std::vector<char> touched;
        std::vector<char> removed;
    };
    Items items[4];
};
bool readConfigMerge(const QByteArray &json, const ConfigDocument &current, const TextCodec &codec,
                     ConfigDocument *out, QList<QByteArray> *removedGroupData, QString *error,
                     MergeScope *scope = nullptr);
