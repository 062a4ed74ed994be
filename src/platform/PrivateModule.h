#pragma once

#include <QString>

// The program's private modules: shared objects in the package's private library folder
// ("<prefix>/<libdir>/quilmora"), loaded only by the commands that need what they hold, so
// that the others start without loading those libraries.
namespace PrivateModule {

// The address of `symbol` in the module `name` ("history-git": history-git.so). Looked for
// beside the running program first ("<program's folder>/../<libdir>/quilmora", which is
// also where the build tree puts it), then in the installed folder. Null with the cause.
// A module once loaded stays loaded.
void *resolve(const char *name, const char *symbol, QString *error);

} // namespace PrivateModule
