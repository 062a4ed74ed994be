#include "platform/SystemInfo.h"

#include <QFile>
#include <QSysInfo>

#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>

SystemInfo::OsVersion LocalSystemInfo::osVersion() const
{
    OsVersion os;
    struct utsname un;
    if (uname(&un) != 0)
        return os;
    os.known = true;
    os.name = QSysInfo::prettyProductName();
    if (os.name.isEmpty() || os.name.startsWith(QLatin1String("Unknown")))
        os.name = QString::fromLocal8Bit(un.sysname);
    // "6.1.0-13-amd64" gives the version "6.1"; the whole release is the extra text.
    const QString release = QString::fromLocal8Bit(un.release);
    const QStringList parts = release.split(QLatin1Char('.'));
    auto number = [](const QString &part) {
        qsizetype digits = 0;
        while (digits < part.size() && part.at(digits).isDigit())
            ++digits;
        return digits ? part.left(digits).toInt() : 0;
    };
    os.version = QStringLiteral("%1.%2").arg(number(parts.value(0))).arg(number(parts.value(1)));
    os.extraInfo = release.left(128);
    return os;
}

SystemInfo::Memory LocalSystemInfo::memory() const
{
    Memory m;
    struct sysinfo si;
    if (sysinfo(&si) != 0)
        return m;
    const quint64 unit = si.mem_unit ? si.mem_unit : 1;
    m.totalBytes = quint64(si.totalram) * unit;
    m.availableBytes = quint64(si.freeram) * unit;
    return m;
}

SystemInfo::Disk LocalSystemInfo::disk(const QString &folder) const
{
    Disk d;
    struct statvfs st;
    if (folder.isEmpty() || statvfs(QFile::encodeName(folder).constData(), &st) != 0)
        return d;
    const qint64 fragment = qint64(st.f_frsize ? st.f_frsize : st.f_bsize);
    d.known = true;
    d.totalBytes = qint64(st.f_blocks) * fragment;
    d.freeBytes = qint64(st.f_bavail) * fragment;
    return d;
}
