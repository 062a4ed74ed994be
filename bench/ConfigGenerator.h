#pragma once

// Builds large, realistic configuration files for the benchmarks.
#include "config/ConfigStore.h"
#include "config/PasswordDigest.h"

#include <QByteArray>
#include <QByteArrayList>

namespace ConfigGenerator {

struct Size
{
    int users = 5000;
    int groups = 1000;
    int usersPerGroup = 200;
    int pops = 500;
    int groupsPerPop = 5;
};

inline Size scaled(int factor)
{
    Size s;
    s.users *= factor;
    s.groups *= factor;
    s.pops *= factor;
    return s;
}

inline QByteArray userName(int i)
{
    return (i % 7 == 0 ? QByteArray("reader ") : QByteArray("reader")) + QByteArray::number(i);
}

inline QByteArray groupName(int i)
{
    return "dept" + QByteArray::number(i % 50) + ".team" + QByteArray::number(i);
}

inline QByteArray generate(const Size &size)
{
    ConfigWriter w;
    w.beginSection("SERVER");
    w.writeInteger("Port", 119);
    w.writeString("Name", "Benchmark Office");
    w.writeString("Version", "1.05");
    w.writeString("SMTPHost", "smtp.bench.example");
    w.writeString("OutboundPrefix", "KD-");
    w.writeString("OutboundMarker", ">>>");
    w.writeString("BindIP", "");
    w.writeString("AdminEmail", "admin@bench.example");
    w.writeSwitch("AdminEmailActive", true);
    w.writeString("SMTPUserID", "gateway");
    w.writeBinary("SMTPUserPass", "relay");
    w.writeInteger("SMTPPort", 25);
    w.writeInteger("LogSize", 1024);
    w.writeInteger("Log", 1);
    w.writeString("AdminUser", "admin");
    w.writeBinary("AdminPass", PasswordDigest("admin"));
    w.writeInteger("ConfigPort", 35000);
    w.writeInteger("Pops", size.pops);
    w.writeInteger("Users", size.users);
    w.writeInteger("Groups", size.groups);
    const QByteArray body = "Thank you for your message.\r\nWe will answer within one working day.\r\n\r\nThe office";
    for (int i = 0; i < size.pops; ++i) {
        w.beginSection("POP" + QByteArray::number(i + 1));
        w.writeString("Host", "pop" + QByteArray::number(i % 10) + ".bench.example");
        w.writeInteger("Port", 110);
        w.writeString("UserID", "box" + QByteArray::number(i));
        w.writeBinary("Password", "secret" + QByteArray::number(i));
        QByteArrayList groups;
        for (int g = 0; g < size.groupsPerPop; ++g)
            groups.append(groupName((i * size.groupsPerPop + g) % size.groups));
        w.writeList("Newsgroups", groups);
        w.writeString("DefaultGroup", groups.first());
        w.writeString("AutoReply", i % 2 ? "Y" : "N");
        w.writeString("AutoReplyFrom", "office@bench.example");
        w.writeBinary("AutoReplyBody", body);
        w.writeString("AutoReplySubject", "Received");
        w.writeString("AutoReplyFromIgnore", "");
        w.writeString("AssignOutboundID", "N");
        w.writeString("SafetyBox", "");
    }
    for (int i = 0; i < size.users; ++i) {
        w.beginSection("USER" + QByteArray::number(i + 1));
        w.writeString("Name", userName(i));
        w.writeBinary("Pass", PasswordDigest(userName(i)));
        w.writeString("Description", "Reader number " + QByteArray::number(i));
    }
    for (int i = 0; i < size.groups; ++i) {
        w.beginSection("GROUP" + QByteArray::number(i + 1));
        w.writeString("Name", groupName(i));
        w.writeString("Description", "Group " + QByteArray::number(i));
        w.writeString("OutboundAddress", groupName(i) + "@bench.example");
        w.writeBinary("KeyList", "alpha\r\nbeta\r\ngamma");
        QByteArrayList users;
        for (int u = 0; u < size.usersPerGroup; ++u)
            users.append(userName((i * 37 + u) % size.users));
        w.writeList("Users", users);
        w.writeString("ReadOnly", "N");
    }
    return w.bytes();
}

// Many incoming accounts and few users and groups (200 users, 100 groups admitting 20
// each, accounts filing into 3 groups): the configuration of the check and diff memory
// benchmark and of the background check's pause on the window's thread.
inline QByteArray manyAccounts(int accounts)
{
    Size size;
    size.users = 200;
    size.groups = 100;
    size.usersPerGroup = 20;
    size.pops = accounts;
    size.groupsPerPop = 3;
    return generate(size);
}

} // namespace ConfigGenerator
