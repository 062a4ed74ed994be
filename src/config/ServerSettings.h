#pragma once

#include <QByteArray>

// The server's settings as the General, Advanced and Log Settings pages hold them: spin
// values within their ranges, `Log` as the index of the chosen radio item (-1 for none).
struct ServerSettings
{
    static constexpr int PortMax = 65534;
    static constexpr int LogSizeMax = 99999999;

    int Port = 119;
    QByteArray Name;
    QByteArray Version = "0"; // the text read; the save always writes the program's version
    QByteArray SMTPHost;
    QByteArray OutboundPrefix = "KD-";
    QByteArray OutboundMarker = ">>>";
    QByteArray BindIP;
    QByteArray AdminEmail;
    bool AdminEmailActive = false;
    QByteArray SMTPUserID;
    QByteArray SMTPUserPass; // the password's own bytes
    int SMTPPort = 25;
    int LogSize = 0;
    int Log = 0;
    QByteArray AdminUser;
    QByteArray AdminPass; // the digest (after the old-format conversion)
    int ConfigPort = 35000;

    // Index of the log-file radio group: "Overwrite when file reaches " when a size is set.
    int logFileIndex() const { return LogSize != 0 ? 1 : 0; }
};
