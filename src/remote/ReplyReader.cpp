#include "remote/ReplyReader.h"

#include <QAbstractSocket>
#include <QEventLoop>
#include <QIODevice>
#include <QTimer>
#include <cerrno>

namespace Net {

QString socketErrorText(int number, const QString &description)
{
    return QStringLiteral("Socket Error # %1\r\n%2").arg(number).arg(description);
}

QString closedGracefullyText()
{
    return QStringLiteral("Connection Closed Gracefully.");
}

int systemErrorNumber(const QAbstractSocket &socket)
{
    switch (socket.error()) {
    case QAbstractSocket::ConnectionRefusedError:
        return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
        return ECONNRESET;
    case QAbstractSocket::HostNotFoundError:
        // The resolver has no errno of its own; the host cannot be reached by that name.
        return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError:
        return EACCES;
    case QAbstractSocket::SocketResourceError:
        return ENOBUFS;
    case QAbstractSocket::SocketTimeoutError:
        return ETIMEDOUT;
    case QAbstractSocket::NetworkError:
        return ENETUNREACH;
    case QAbstractSocket::AddressInUseError:
        return EADDRINUSE;
    case QAbstractSocket::SocketAddressNotAvailableError:
        return EADDRNOTAVAIL;
    case QAbstractSocket::UnsupportedSocketOperationError:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}

QString socketFailureText(const QAbstractSocket &socket)
{
    if (socket.error() == QAbstractSocket::RemoteHostClosedError)
        return closedGracefullyText();
    return socketErrorText(systemErrorNumber(socket), socket.errorString());
}

QString cancelledText()
{
    return QStringLiteral("Transfer cancelled");
}

QString overdueText(int seconds)
{
    return QStringLiteral("The transfer did not finish within %1 seconds.").arg(seconds);
}

WaitLimits limitsWithin(int seconds)
{
    WaitLimits limits;
    limits.deadline = QDeadlineTimer(qint64(seconds) * 1000);
    limits.overallSeconds = seconds;
    return limits;
}

void run(const Runner &runner, const WaitLimits &limits, const Work &work)
{
    if (runner)
        runner(limits, work);
    else
        work(limits);
}

bool connectWithin(QAbstractSocket &socket, const QString &host, quint16 port, int timeoutMs,
                   const WaitLimits *limits, QString *error, int *why)
{
    const auto fail = [&socket, error, &why](const QString &text) {
        if (why)
            *why = int(socket.error());
        socket.abort();
        *error = text;
        return false;
    };
    socket.abort();
    // The socket makes its connection in the event loop of its thread: a local loop runs
    // it one slice at a time, the limits asked between slices. Any change of state ends a
    // slice early.
    QEventLoop loop;
    QTimer slice;
    slice.setSingleShot(true);
    QObject::connect(&slice, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QAbstractSocket::stateChanged, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
    const QDeadlineTimer silence(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs));
    socket.connectToHost(host, port);
    const auto pending = [&socket] {
        return socket.state() == QAbstractSocket::HostLookupState
               || socket.state() == QAbstractSocket::ConnectingState;
    };
    while (pending()) {
        if (limits && limits->keepGoing && !limits->keepGoing())
            return fail(cancelledText());
        if (!pending())
            break; // the watcher may have run the event loop
        if (limits && limits->deadline.hasExpired())
            return fail(overdueText(limits->overallSeconds));
        if (silence.hasExpired()) {
            if (why) {
                *why = int(QAbstractSocket::SocketTimeoutError);
                why = nullptr; // kept through the failure below
            }
            return fail(socketErrorText(ETIMEDOUT, QStringLiteral("Socket operation timed out")));
        }
        qint64 ms = WaitLimits::SliceMs;
        for (const qint64 left : {silence.remainingTime(), limits ? limits->deadline.remainingTime() : qint64(-1)}) {
            if (left >= 0 && left < ms)
                ms = left;
        }
        slice.start(int(ms));
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        slice.stop();
    }
    if (socket.state() == QAbstractSocket::ConnectedState)
        return true;
    return fail(socketFailureText(socket));
}

bool waitSliced(const std::function<bool(int)> &waitOnce, const std::function<bool()> &stillWaiting, int timeoutMs,
                const WaitLimits *limits, QString *error, bool *timedOut)
{
    if (timedOut)
        *timedOut = false;
    QDeadlineTimer silence(timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever) : QDeadlineTimer(timeoutMs));
    for (;;) {
        if (limits && limits->keepGoing && !limits->keepGoing()) {
            *error = cancelledText();
            return false;
        }
        if (limits && limits->deadline.hasExpired()) {
            *error = overdueText(limits->overallSeconds);
            return false;
        }
        if (silence.hasExpired()) {
            if (timedOut)
                *timedOut = true;
            return false;
        }
        qint64 slice = silence.remainingTime();
        if (limits) {
            const qint64 overall = limits->deadline.remainingTime();
            if (overall >= 0 && (slice < 0 || overall < slice))
                slice = overall;
            if (slice < 0 || slice > WaitLimits::SliceMs)
                slice = WaitLimits::SliceMs;
        }
        if (waitOnce(int(slice < 0 ? -1 : slice)))
            return true;
        if (!stillWaiting())
            return false;
    }
}

bool waitForMoreData(QIODevice &device, int timeoutMs, QString *error, const WaitLimits *limits)
{
    auto *socket = qobject_cast<QAbstractSocket *>(&device);
    if (socket && socket->state() != QAbstractSocket::ConnectedState) {
        *error = socket->error() == QAbstractSocket::UnknownSocketError ? closedGracefullyText()
                                                                        : socketFailureText(*socket);
        return false;
    }
    if (!socket || !limits) {
        if (device.waitForReadyRead(timeoutMs))
            return true;
        *error = socket ? socketFailureText(*socket) : closedGracefullyText();
        return false;
    }
    bool timedOut = false;
    QString limitText; // set only when the overall limit or Cancel ended the wait
    // The watcher may run the event loop between slices, which reads what arrived into the
    // socket's buffer: that counts as data too.
    const qint64 before = socket->bytesAvailable();
    const auto arrived = [socket, before] { return socket->bytesAvailable() > before; };
    if (waitSliced([socket, arrived](int ms) { return arrived() || socket->waitForReadyRead(ms) || arrived(); },
                   [socket] { return socket->state() == QAbstractSocket::ConnectedState; }, timeoutMs, limits,
                   &limitText, &timedOut))
        return true;
    if (arrived())
        return true;
    if (!limitText.isEmpty())
        *error = limitText;
    else if (!timedOut && socket->error() == QAbstractSocket::SocketTimeoutError)
        *error = closedGracefullyText(); // closed after a slice had timed out
    else
        *error = socketFailureText(*socket);
    return false;
}

} // namespace Net

QByteArray Reply::trimmed(const QByteArray &line)
{
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && static_cast<unsigned char>(line[begin]) <= 32)
        ++begin;
    while (end > begin && static_cast<unsigned char>(line[end - 1]) <= 32)
        --end;
    return line.mid(begin, end - begin);
}

int Reply::codeOf(const QByteArray &firstLine)
{
    QByteArray head = trimmed(firstLine.left(4));
    if (head.size() == 4 && head.endsWith('-'))
        head.chop(1);
    bool ok = false;
    const int code = head.toInt(&ok, 10);
    return ok ? code : 0;
}

bool Reply::endsMultiLine(const QByteArray &firstLine, const QByteArray &line)
{
    if (line.size() < 4)
        return true;
    const QByteArray closing = firstLine.left(3) + ' ';
    return line.left(4).compare(closing, Qt::CaseInsensitive) == 0;
}

QByteArray Reply::text() const
{
    QByteArray out;
    for (const QByteArray &line : lines) {
        out += line.mid(4);
        out += "\r\n";
    }
    return out;
}

QString Reply::message() const
{
    QByteArray bytes = text();
    if (bytes.endsWith("\r\n"))
        bytes.chop(2);
    return QString::fromLocal8Bit(bytes);
}

ReplyReader::ReplyReader(QIODevice &device, int timeoutMs) : m_device(device), m_timeoutMs(timeoutMs) {}

bool ReplyReader::fail(const QString &text, Failure failure)
{
    m_error = text;
    m_failure = failure;
    return false;
}

bool ReplyReader::waitForData()
{
    if (Net::waitForMoreData(m_device, m_timeoutMs, &m_error, m_limits))
        return true;
    const auto *socket = qobject_cast<const QAbstractSocket *>(&m_device);
    if (m_limits && ((m_limits->keepGoing && !m_limits->keepGoing()) || m_limits->deadline.hasExpired()))
        m_failure = Failure::Limits;
    else if (m_error == Net::closedGracefullyText())
        m_failure = Failure::Closed;
    else if (socket && socket->error() == QAbstractSocket::SocketTimeoutError
             && socket->state() == QAbstractSocket::ConnectedState)
        m_failure = Failure::Silent;
    else if (socket && socket->state() != QAbstractSocket::ConnectedState
             && (socket->error() == QAbstractSocket::RemoteHostClosedError
                 || socket->error() == QAbstractSocket::UnknownSocketError))
        m_failure = Failure::Closed;
    else
        m_failure = Failure::Network;
    return false;
}

bool ReplyReader::nextLine(QByteArray *line)
{
    for (;;) {
        if (m_device.canReadLine()) {
            // Read through one buffer that has room for the longest line, its CR LF and a
            // byte more to tell it is too long; each line then costs only its own size.
            if (m_lineBuffer.size() != m_maxLine + 4)
                m_lineBuffer.resize(m_maxLine + 4);
            const qint64 length = m_device.readLine(m_lineBuffer.data(), m_lineBuffer.size());
            if (length < 0)
                return fail(Net::closedGracefullyText(), Failure::Closed);
            QByteArray got(m_lineBuffer.constData(), qsizetype(length));
            m_budget -= got.size();
            if (got.endsWith('\n'))
                got.chop(1);
            else
                return fail(QStringLiteral("The server sent a line longer than %1 bytes.").arg(m_maxLine));
            if (got.endsWith('\r'))
                got.chop(1);
            if (got.size() > m_maxLine)
                return fail(QStringLiteral("The server sent a line longer than %1 bytes.").arg(m_maxLine));
            if (m_budget < 0)
                return fail(QStringLiteral("The server's reply is larger than %1 bytes.").arg(m_maxReply));
            *line = got;
            return true;
        }
        if (m_device.bytesAvailable() > m_maxLine + 1)
            return fail(QStringLiteral("The server sent a line longer than %1 bytes.").arg(m_maxLine));
        if (!waitForData())
            return false;
    }
}

bool ReplyReader::nextNonEmptyLine(QByteArray *line)
{
    for (;;) {
        QByteArray raw;
        if (!nextLine(&raw))
            return false;
        raw = Reply::trimmed(raw);
        if (!raw.isEmpty()) {
            *line = raw;
            return true;
        }
    }
}

bool ReplyReader::readRawLine(QByteArray *line)
{
    m_failure = Failure::None;
    m_budget = m_maxReply;
    return nextLine(line);
}

bool ReplyReader::readTrimmedLine(QByteArray *line)
{
    m_failure = Failure::None;
    m_budget = m_maxReply;
    return nextNonEmptyLine(line);
}

bool ReplyReader::readReply(Reply *reply)
{
    m_failure = Failure::None;
    m_budget = m_maxReply;
    Reply r;
    QByteArray first;
    if (!nextNonEmptyLine(&first))
        return false;
    r.lines.append(first);
    if (first.size() > 3 && first[3] == '-') {
        for (;;) {
            QByteArray line;
            if (!nextNonEmptyLine(&line))
                return false;
            r.lines.append(line);
            if (Reply::endsMultiLine(first, line))
                break;
        }
    }
    r.code = Reply::codeOf(first);
    *reply = std::move(r);
    return true;
}
