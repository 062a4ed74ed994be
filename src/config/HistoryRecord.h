#pragma once

#include <QByteArray>
#include <QString>

namespace History {

// Adds the version of `path` just saved with `bytes` to the history (History::recordChecked).
bool recordSave(const QString &path, const QByteArray &bytes, bool backupKept, QString *error);

// Who saves, as History::setProgram and setLogin keep it.
QString login();

} // namespace History
