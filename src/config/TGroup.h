#pragma once

#include <QByteArray>
#include <QByteArrayList>

#include "config/NameList.h"

// A group: where the messages of one subject are kept.
class TGroup
{
public:
    QByteArray Name;
    QByteArray Description;
    QByteArray OutboundAddress;
    QByteArray KeyList; // lines separated by CR LF
    NameList Users;
    QByteArray ReadOnly; // "Y" or "N" as read

    static constexpr char KindWord[] = "GROUP";
    static constexpr int ImageIndex = 3;

    QByteArray caption() const { return Name; }
};
