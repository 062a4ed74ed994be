#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The files an old-format configuration names for an account's auto-reply body
// (AutoReplyFile) and a group's key list (KeyListFile). The names come from the file, and
// a file may come from a server: read as they stand, they would let a configuration pull
// any file of this machine into a body that the next save sends back. So:
// - Inside (the folder's own configuration file only): only files inside the configuration's
//   folder are read. A relative name counts from that folder (the server's working folder);
//   an absolute one must lead into it once ".." and symbolic links are resolved. A file that
//   holds a configuration is never read: the configuration itself or its ".bak" backup (by
//   name, once resolved), or any file with a section line ("[name]"), such as a server's
//   local copy. Any other name reads as a missing file.
// - None: nothing is read (any other configuration: a server's local copy, a file named on
//   the command line, the editor in remote mode, whose names are paths on the server's
//   machine).
// Every name passed over is noted, so the caller can say which.
class LinkedFiles
{
public:
    enum class Mode { Inside, None };

    LinkedFiles() = default; // reads nothing
    // `configuration` is the file being loaded (never read as a linked file, nor its backup).
    LinkedFiles(Mode mode, const QString &folder, const QString &configuration = {});

    // The file's text, its lines each followed by CR LF; empty for a missing file or one
    // passed over. `where` names the item and key for the note ("POP1 AutoReplyFile").
    QByteArray read(const QByteArray &name, const QString &where);

    Mode mode() const { return m_mode; }
    // One line per name passed over: "POP1 AutoReplyFile=/etc/shadow".
    const QStringList &skipped() const { return m_skipped; }

    // What the load tells the user about the skipped names; empty when there are none.
    QString message() const;

    // One line per name whose file does not exist (read as empty): "POP1 AutoReplyFile=reply.txt".
    const QStringList &missing() const { return m_missing; }

private:
    Mode m_mode = Mode::None;
    QString m_folder;        // canonical
    QString m_configuration; // canonical, or empty
    QStringList m_skipped;
    QStringList m_missing;
};
