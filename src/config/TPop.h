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
    // Built in an array of its own size: the values share the file's buffer, and a copy of
    // one that grows would take that buffer's whole capacity with it.
    QByteArray caption() const
    {
        QByteArray out;
        out.reserve(UserID.size() + 1 + Host.size());
        out.append(UserID).append('/').append(Host);
        return out;
    }
};
