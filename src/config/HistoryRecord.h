#pragma once

#include <QByteArray>
#include <QString>

namespace History {

struct SavedVersion;

// Adds the version of `path` just saved to the history (History::recordChecked).
bool recordSave(const QString &path, const SavedVersion &version, QString *error);

// Who saves, as History::setProgram and setLogin keep it.
QString login();

} // namespace History
