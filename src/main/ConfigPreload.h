#pragma once

#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <QString>
#include <memory>
#include <optional>
#include <thread>

// Reads the local configuration on a thread of its own while start-up waits for the user
// in the connection dialog, so that the main window, once the dialog is accepted in local
// mode, need not read it then. The document read is used only when the read succeeded
// and the file has not changed since: anything else is read again as usual, and so
// reported as usual.
class ConfigPreload
{
public:
    ConfigPreload() = default;
    ConfigPreload(const ConfigPreload &) = delete;
    ConfigPreload &operator=(const ConfigPreload &) = delete;
    ~ConfigPreload();

    // Starts reading `path` (a configuration in local mode: its linked files are read inside
    // its folder) with `codec`.
    void start(const QString &path, const TextCodec &codec);

    // Waits until the read started last has ended.
    void wait();

    // Waits for the read started for `path`, and gives its document when it can stand for
    // reading the file now. Gives nothing when no read was started for that path, it failed,
    // or the file changed on disk since. The document is given once.
    std::optional<ConfigDocument> take(const QString &path);

private:
    struct Result
    {
        ConfigDocument doc;
        bool ok = false;
    };
    QString m_path;
    std::unique_ptr<Result> m_result;
    std::thread m_thread;
};
