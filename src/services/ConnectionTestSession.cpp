#include "services/ConnectionTestSession.h"

#include <QAbstractSocket>
#include <QEventLoop>
#include <QHostInfo>
#include <QTimer>

namespace ConnectionTest::detail {

// Resolves the host's name without blocking past the step's deadline. An address is taken
// as it is.
bool resolve(Session &s, const Target &t, QList<QHostAddress> *addresses)
{
    s.begin();
    if (t.host.trimmed().isEmpty()) {
        s.step(QStringLiteral("resolve"), false, {}, {}, QStringLiteral("No host is set."));
        return s.fail(Verdict::HostUnknown, QStringLiteral("resolve"),
                      t.kind == Kind::Smtp ? QStringLiteral("No outgoing mail server is set.")
                                           : QStringLiteral("No mail server is set."));
    }
    QHostAddress literal;
    if (literal.setAddress(t.host)) {
        addresses->append(literal);
    } else {
        QEventLoop loop;
        QObject context;
        QHostInfo info;
        bool done = false;
        const int id = QHostInfo::lookupHost(t.host, &context, [&](const QHostInfo &answer) {
            info = answer;
            done = true;
            loop.quit();
        });
        QTimer slice;
        slice.setSingleShot(true);
        QObject::connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
        while (!done) {
            if (s.cancelled() || s.limits.deadline.hasExpired()) {
                QHostInfo::abortHostLookup(id);
                s.step(QStringLiteral("resolve"), false, {}, {}, s.overdueText());
                return s.fail(Verdict::NoAnswer, QStringLiteral("resolve"),
                              QStringLiteral("The name %1 was not resolved in time.").arg(t.host));
            }
            slice.start(int(qBound(qint64(1), s.limits.deadline.remainingTime(), qint64(Net::WaitLimits::SliceMs))));
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        }
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            const QString why = info.error() == QHostInfo::NoError ? QStringLiteral("no address") : info.errorString();
            s.step(QStringLiteral("resolve"), false, {}, {}, why);
            return s.fail(Verdict::HostUnknown, QStringLiteral("resolve"),
                          QStringLiteral("The name %1 does not resolve: %2").arg(t.host, why));
        }
        *addresses = info.addresses();
    }
    for (const QHostAddress &a : std::as_const(*addresses))
        s.r.addresses.append(a.toString());
    s.step(QStringLiteral("resolve"), true, {}, {}, s.r.addresses.join(QStringLiteral(", ")));
    return true;
}

// The verdict of a connection that could not be made.
Verdict connectVerdict(int socketError)
{
    switch (QAbstractSocket::SocketError(socketError)) {
    case QAbstractSocket::SocketTimeoutError:
        return Verdict::NoAnswer;
    case QAbstractSocket::HostNotFoundError:
        return Verdict::HostUnknown;
    default:
        return Verdict::Unreachable;
    }
}

// Tries the addresses in turn with `open`, which connects to one and tells the socket's
// error on failure.
bool connectAny(Session &s, const Target &t, const QList<QHostAddress> &addresses,
                const std::function<bool(const QString &address, QString *error, int *why)> &open)
{
    s.begin();
    QString error;
    int why = -1;
    QStringList tried;
    for (const QHostAddress &a : addresses) {
        const QString address = a.toString();
        if (open(address, &error, &why)) {
            s.step(QStringLiteral("connect"), true, {}, {},
                   QStringLiteral("Connected to %1 port %2").arg(address).arg(t.port));
            return true;
        }
        tried.append(address + QStringLiteral(": ") + QString(error).replace(QStringLiteral("\r\n"), QStringLiteral(": ")));
        if (s.cancelled() || s.limits.deadline.hasExpired())
            break;
    }
    const bool overdue = s.limits.deadline.hasExpired() || why == int(QAbstractSocket::SocketTimeoutError);
    s.step(QStringLiteral("connect"), false, {}, {}, tried.join(QStringLiteral("; ")));
    if (overdue)
        return s.fail(Verdict::NoAnswer, QStringLiteral("connect"),
                      QStringLiteral("No connection to port %1: %2").arg(t.port).arg(s.overdueText()));
    return s.fail(connectVerdict(why), QStringLiteral("connect"),
                  QStringLiteral("No connection to port %1: %2").arg(t.port).arg(tried.join(QStringLiteral("; "))));
}

} // namespace ConnectionTest::detail
