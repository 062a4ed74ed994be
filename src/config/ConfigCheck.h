#pragma once

#include "config/ServerSettings.h"

#include <QList>
#include <QString>

class ConfigDocument;
class TGroup;
class TPop;
class TUser;
class TextCodec;

// One thing the consistency check found.
struct CheckFinding
{
    enum class Level { Error, Warning };
    enum class Kind { Server, Pop, User, Group };

    Level level = Level::Warning;
    QString code;    // "unknown-group", "duplicate-name", ...
    Kind kind = Kind::Server;
    int index = -1;  // the item's position among its kind, from 0; -1 for the server
    QString message;
    // The item's address by name ("group:sales", "pop:ann/pop.example"), or empty where
    // that would not name one item (another has the same name, or the name is empty).
    QString name;

    QString levelText() const; // "error" or "warning"
    QString item() const;      // "server", "pop:#2", "user:#1", "group:#3"
    // How the command line names the item: its name, else its position.
    QString itemAddress() const;
    // "error CODE ITEM: message", ITEM as itemAddress(), with control characters in names
    // shown escaped.
    QString line() const;

    bool operator==(const CheckFinding &other) const = default;
};

// What is inconsistent in a configuration: lists naming items that do not exist, default
// groups, group names the name check refuses, duplicate names, the server's port and
// login, empty passwords, accounts without groups and the old format. The editor's Check
// command and `quilmora-config check` both ask here.
//
// Findings come by code in a fixed order (that of the codes listed in the source); within
// a code by item in file order (accounts, users, groups), and within an item in the order
// of its list. Names compare ignoring letter case, as the membership lists do. Linear in
// the size of the configuration.
namespace ConfigCheck {

QList<CheckFinding> run(const ServerSettings &server, bool oldFormat, const QList<const TPop *> &pops,
                        const QList<const TUser *> &users, const QList<const TGroup *> &groups,
                        const TextCodec &codec);
QList<CheckFinding> run(const ConfigDocument &doc, const TextCodec &codec);

bool hasError(const QList<CheckFinding> &findings);

// A name as the findings show it: in double quotes, a double quote, a backslash and every
// control character escaped as in JSON, so one finding stays one line on a terminal.
QString quoted(const QString &name);

} // namespace ConfigCheck
