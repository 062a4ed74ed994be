#pragma once

#include <QByteArray>

// A reader's login account.
class TUser
{
public:
    QByteArray Description;
    QByteArray Name;
    QByteArray Pass; // the 16-byte password digest, or empty

    static constexpr char KindWord[] = "USER";
    static constexpr int ImageIndex = 7;

    QByteArray caption() const { return Name; }
};
