#pragma once

#include <QString>
#include <QStringView>

// The rule for a group's name: letters, digits and periods only (the server files the
// group's messages under a folder per period-separated part). The editor checks it when
// the name field is left, and quilmora-config's commands and `check` apply the same rule.
namespace GroupName {

// The editor's message for a name that breaks the rule.
QString invalidMessage();

// Whether the name passes: every character is ".", "0" to "9", "A" to "Z" or "a" to "z".
// An empty name passes (the field may be left empty while typing).
bool passes(QStringView name);

} // namespace GroupName
