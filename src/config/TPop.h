#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include "config/NameList.h"

// An incoming account: a mailbox the server polls. Fields hold the file's bytes as read;
// a new account has everything empty and Port 0 until its page is stored into it.
class TPop
{
public:
    QByteArray Host;
    int Port = 0;
    QByteArray UserID;
    QByteArray Password; // the plain password's bytes
    NameList Newsgroups;
    QByteArray DefaultGroup;
    QByteArray AutoReply; // "Y" or "N" as read
    QByteArray AutoReplyFrom;
    QByteArray AutoReplyBody; // lines separated by CR LF
    QByteArray AutoReplySubject;
    QByteArray AutoReplyFromIgnore;
    QByteArray AssignOutboundID; // "Y" or "N" as read
    QByteArray SafetyBox;

    static constexpr char KindWord[] = "POP";
    static constexpr int ImageIndex = 1;

    // "UserID/Host"
    // Built in a buffer of its own: UserID may be a slice of the loaded file's bytes, and
    // appending to it would copy (and reserve) the whole of them.
    QByteArray caption() const
    {
        QByteArray c;
        c.reserve(UserID.size() + 1 + Host.size());
        c.append(UserID).append('/').append(Host);
        return c;
    }
};
