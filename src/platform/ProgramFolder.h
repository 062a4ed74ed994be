#pragma once

#include <QString>

// The program's folder: the server's folder, where quilmora.ini, log.txt, tips.dat and
// data/ live. Chosen by --folder, else $QUILMORA_HOME, else `fallback` (the executable's
// folder for the editor, the current folder for quilmora-config).
namespace ProgramFolder {

QString resolve(const QString &folderOption, const QString &fallback);

// `name` inside `folder`.
QString filePath(const QString &folder, const QString &name);

// Where a document that comes with the editor (tips.dat, quilmora.pdf) is: in the
// program's folder when it is there, else beside the running executable, else (in an
// installed build) in the installed data folder. The path in the program's folder when
// it is nowhere.
QString findDocument(const QString &programFolder, const QString &name);

} // namespace ProgramFolder
