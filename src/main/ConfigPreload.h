#pragma once

#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <QIcon>
#include <QList>
#include <QString>
#include <memory>
#include <optional>
#include <thread>

class QTreeWidgetItem;

// Reads the local configuration on a thread of its own while start-up waits for the user
// in the connection dialog, and makes its items' tree nodes there, so that the main window,
// once the dialog is accepted in local mode, need neither read the file nor make the nodes. The document read is used only when the read succeeded
// and the file has not changed since: anything else is read again as usual, and so
// reported as usual.
class ConfigPreload
{
public:
    ConfigPreload() = default;
    ConfigPreload(const ConfigPreload &) = delete;
    ConfigPreload &operator=(const ConfigPreload &) = delete;
    ~ConfigPreload();

    // What a read made ahead gives: the document, whose items have gone into the nodes, and
    // those nodes (in the file's order; owned here until taken out of the lists).
    struct Loaded
    {
        ConfigDocument doc;
        QList<QTreeWidgetItem *> popNodes, groupNodes, userNodes;
        Loaded() = default;
        Loaded(const Loaded &) = delete;
        Loaded &operator=(const Loaded &) = delete;
        ~Loaded();
    };

    // Starts reading `path` (a configuration in local mode: its linked files are read inside
    // its folder) with `codec`; `icons` are the tree's images by image index.
    void start(const QString &path, const TextCodec &codec, const QList<QIcon> &icons);

    // Waits until the read started last has ended.
    void wait();

    // Waits for the read started for `path`, and gives its document when it can stand for
    // reading the file now. Gives nothing when no read was started for that path, it failed,
    // or the file changed on disk since. The document is given once.
    std::unique_ptr<Loaded> take(const QString &path);

private:
    QString m_path;
    QList<QIcon> m_icons;
    bool m_ok = false;
    std::unique_ptr<Loaded> m_result;
    std::thread m_thread;
};
