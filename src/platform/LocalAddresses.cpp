#include "platform/LocalAddresses.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QNetworkInterface>

namespace LocalAddresses {

QStringList ipv4()
{
    QStringList out;
    auto add = [&out](const QHostAddress &a) {
        if (a.protocol() != QAbstractSocket::IPv4Protocol)
            return;
        const QString text = a.toString();
        if (!out.contains(text))
            out.append(text);
    };
    const QHostInfo info = QHostInfo::fromName(QHostInfo::localHostName());
    for (const QHostAddress &a : info.addresses())
        add(a);
    for (const QHostAddress &a : QNetworkInterface::allAddresses())
        add(a);
    return out;
}

} // namespace LocalAddresses
