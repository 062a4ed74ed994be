#pragma once

#include <QString>

// The program's folder: the server's folder, where quilmora.ini, log.txt, tips.dat and
// data/ live. Chosen by --folder, else $QUILMORA_HOME, else `fallback` (the executable's
// folder for the editor, the current folder for quilmora-config).
namespace ProgramFolder {

QString resolve(const QString &folderOption, const QString &fallback);

// `name` inside `folder`.
QString filePath(const QString &folder, const QString &name);

} // namespace ProgramFolder
