#pragma once

#include <QString>
#include <memory>

class BusyCursor;
class Prompts;
class Registry;
class TRemoteInfo;

// What the connection dialog edits: the choice of Local or Remote and the server's
// address, port and login, as the dialog's fields hold them. The choice, the address,
// the port and the user name are remembered in the registry from one run to the next;
// the password never is.
struct ConnectSettings
{
    static constexpr char RegistryPath[] = "\\SOFTWARE\\Kovalen Designs\\Quilmora\\Server";
    static constexpr int DefaultPort = 35000;
    // The server's login as it comes out of the box.
    static constexpr char DefaultLogin[] = "zerevovu";

    int connection = 0; // 0 Local, 1 Remote
    QString server;
    QString portText = QString::number(DefaultPort);
    QString user;
    QString password;

    bool remote() const { return connection == 1; }

    // The port box's text read as a decimal number; 0 when it is not one.
    qint32 portValue() const;

    // Both user and password hold exactly the server's default login (letter case counts).
    bool usesDefaultLogin() const;

    // The initial values, then whatever the registry remembers. A key that cannot be
    // opened (or created) leaves the initial values.
    static ConnectSettings load(Registry &registry);
    // Remembers the choice, address, user name and port (never the password). False when
    // the key cannot be opened or a value not written.
    bool store(Registry &registry) const;

    // The transfer object of a remote-mode run, filled as start-up does: host, user and
    // password as typed (the last two in the system's character set), the port only when
    // the port box is not empty (else it stays 0). Nothing in local mode.
    std::unique_ptr<TRemoteInfo> makeRemoteInfo(Prompts &prompts, BusyCursor *cursor) const;
};
