#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The files an old-format configuration names for an account's auto-reply body
// (AutoReplyFile) and a group's key list (KeyListFile). The names come from the file, and
// a file may come from a server: read as they stand, they would let a configuration pull
// any file of this machine into a body that the next save sends back. So:
// - Inside: only files inside the configuration's folder are read. A relative name counts
//   from that folder (the server's working folder); an absolute one must lead into it once
//   ".." and symbolic links are resolved. Any other name reads as a missing file.
//   A file that holds a configuration (its first line a [section]: the configuration, its
//   backup, a server's local copy) is never read into a body.
// - None: nothing is read (remote mode: the names are paths on the server's machine; any
//   configuration but the folder's own quilmora.ini).
// Every name passed over is noted, so the caller can say which.
class LinkedFiles
{
public:
    enum class Mode { Inside, None };

    LinkedFiles() = default; // reads nothing
    LinkedFiles(Mode mode, const QString &folder);

    // The file's text, its lines each followed by CR LF; empty for a missing file or one
    // passed over. `where` names the item and key for the note ("POP1 AutoReplyFile").
    QByteArray read(const QByteArray &name, const QString &where);

    Mode mode() const { return m_mode; }
    // One line per name passed over: "POP1 AutoReplyFile=/etc/shadow".
    const QStringList &skipped() const { return m_skipped; }

    // What the load tells the user about the skipped names; empty when there are none.
    QString message() const;

private:
    Mode m_mode = Mode::None;
    QString m_folder; // canonical
    QStringList m_skipped;
};
