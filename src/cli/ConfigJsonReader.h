#pragma once

#include <QByteArray>
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
