#pragma once

#include <QString>

// Puts something other than a regular file where a program expects one, as a hostile
// user of a shared folder could: the tests of code that must not follow links or read
// FIFOs plant these and check that nothing outside changed.
namespace PlantedEntry {

enum class Kind {
    LinkToFile, // a symbolic link to `target` (a file outside the folder)
    Dangling,   // a symbolic link to a name that does not exist
    Fifo,
    Folder,
};

// Removes whatever stands at `path` (a file, a link, an empty folder) and plants `kind`
// there. True when it stands there afterwards.
[[nodiscard]] bool plant(const QString &path, Kind kind, const QString &target = {});

// The word tests show the kind by: "link", "dangling link", "FIFO", "folder".
const char *name(Kind kind);

} // namespace PlantedEntry
