#include "remote/TRemoteInfo.h"

#include "config/ConfigBytes.h"

#include "config/SafeFile.h"
#include "config/Sha256.h"
#include "platform/BusyCursor.h"
#include "platform/Prompts.h"
#include "remote/TransferMonitor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QtEndian>
#include <cerrno>
#include <limits>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

namespace {

constexpr qint64 ChunkSize = 64 * 1024;
// Bytes queued for sending before the sender waits for the socket to drain; keeps the
// memory of a large return flat.
constexpr qint64 MaxQueued = 1024 * 1024;
// How long the return waits for the server to close its side after the last byte.
constexpr int DrainMs = 2000;

// One connection of one operation. Whatever way the operation leaves, the destructor
// closes the socket, so the connection never outlives it.
class Connection
{
public:
    Connection(QTcpSocket &socket, int timeoutMs, const Net::WaitLimits &limits)
        : m_socket(socket), m_timeoutMs(timeoutMs), m_limits(limits)
    {
        // The socket keeps what it has read in memory; bounding it keeps a large fetch
        // flat while the file is written piece by piece.
        m_socket.setReadBufferSize(MaxQueued);
    }
    ~Connection() { m_socket.abort(); }

    bool open(const QString &host, qint32 port, QString *error)
    {
        if (port < 0 || port > 65535) {
            *error = Net::socketErrorText(EINVAL, QStringLiteral("Invalid port number %1").arg(port));
            return false;
        }
        // Cancel and the overall limit hold while the connection is being made too.
        return Net::connectWithin(m_socket, host, quint16(port), m_timeoutMs, &m_limits, error);
    }

    // Opens the connection, sends `authLine` and reads the server's whole reply to it into
    // `reply`, whatever its code: what the code means is up to the caller.
    bool logIn(const QString &host, qint32 port, const QByteArray &authLine, Reply *reply, QString *error)
    {
        if (!open(host, port, error) || !sendLine(authLine, error))
            return false;
        ReplyReader reader(m_socket, m_timeoutMs);
        reader.setLimits(&m_limits);
        if (!reader.readReply(reply)) {
            *error = reader.errorText();
            return false;
        }
        return true;
    }

    // A command line: the text and CR LF, handed to the socket in one write.
    bool sendLine(const QByteArray &text, QString *error) { return send(text + "\r\n", error) && flush(error); }

    bool send(QByteArrayView bytes, QString *error)
    {
        if (m_socket.write(bytes.data(), bytes.size()) != bytes.size()) {
            *error = Net::socketFailureText(m_socket);
            return false;
        }
        while (m_socket.bytesToWrite() > MaxQueued) {
            if (!waitWritten(error))
                return false;
        }
        return true;
    }

    bool flush(QString *error)
    {
        while (m_socket.bytesToWrite() > 0) {
            if (!waitWritten(error))
                return false;
        }
        return true;
    }

    bool readExactly(char *into, qint64 count, QString *error)
    {
        while (count > 0) {
            if (m_socket.bytesAvailable() == 0 && !Net::waitForMoreData(m_socket, m_timeoutMs, error, &m_limits))
                return false;
            const qint64 got = m_socket.read(into, count);
            if (got < 0) {
                *error = Net::socketFailureText(m_socket);
                return false;
            }
            into += got;
            count -= got;
        }
        return true;
    }

    // Reads `count` bytes and writes each piece to `file` as it arrives; `done` counts them.
    // The block is never held whole: `hash` and `scanner` take each piece as it passes.
    bool receiveInto(SafeFile::PendingFile &file, qint64 count, qint64 &done, QString *error,
                     Sha256 *hash, ConfigBytes::Scanner *scanner)
    {
        QByteArray buffer(ChunkSize, Qt::Uninitialized);
        while (count > 0) {
            if (m_socket.bytesAvailable() == 0 && !Net::waitForMoreData(m_socket, m_timeoutMs, error, &m_limits))
                return false;
            const qint64 got = m_socket.read(buffer.data(), qMin<qint64>(count, buffer.size()));
            if (got < 0) {
                *error = Net::socketFailureText(m_socket);
                return false;
            }
            if (!file.write(QByteArrayView(buffer.constData(), got))) {
                *error = QStringLiteral("Unable to write to ") + file.path();
                return false;
            }
            hash->add(QByteArrayView(buffer.constData(), got));
            scanner->add(QByteArrayView(buffer.constData(), got));
            count -= got;
            done += got;
            if (!withinLimits(error))
                return false;
        }
        return true;
    }

    // Between pieces that arrive without any wait: the overall limit and Cancel.
    bool withinLimits(QString *error)
    {
        if (m_limits.keepGoing && !m_limits.keepGoing()) {
            *error = Net::cancelledText();
            return false;
        }
        if (m_limits.deadline.hasExpired()) {
            *error = Net::overdueText(m_limits.overallSeconds);
            return false;
        }
        return true;
    }

    // Shuts down the sending side, so the server sees the end of what was sent, then
    // closes. With `drainMs`, first waits that long for the server to close its side,
    // so that nothing unread makes the close a reset that could cost the server the end
    // of the data.
    void close(int drainMs)
    {
        if (m_socket.state() == QAbstractSocket::ConnectedState) {
            QString ignored;
            flush(&ignored);
#ifdef Q_OS_WIN
            ::shutdown(SOCKET(m_socket.socketDescriptor()), SD_SEND);
#else
            ::shutdown(int(m_socket.socketDescriptor()), SHUT_WR);
#endif
            QElapsedTimer clock;
            clock.start();
            while (drainMs > 0 && m_socket.state() == QAbstractSocket::ConnectedState &&
                   clock.elapsed() < drainMs) {
                m_socket.waitForReadyRead(int(drainMs - clock.elapsed()));
                m_socket.readAll();
            }
        }
        m_socket.abort();
    }

private:
    bool waitWritten(QString *error)
    {
        bool timedOut = false;
        // The watcher may run the event loop between slices, which writes too.
        if (Net::waitSliced([this](int ms) { return m_socket.bytesToWrite() == 0 || m_socket.waitForBytesWritten(ms); },
                            [this] { return m_socket.state() == QAbstractSocket::ConnectedState; }, m_timeoutMs,
                            &m_limits, error, &timedOut))
            return true;
        if (timedOut || m_socket.state() != QAbstractSocket::ConnectedState)
            *error = Net::socketFailureText(m_socket);
        return false;
    }

    QTcpSocket &m_socket;
    int m_timeoutMs;
    const Net::WaitLimits &m_limits;
};

// The limits of one transfer, reporting to `monitor` between waits.
Net::WaitLimits limitsFor(int overallSeconds, TransferMonitor *monitor, const qint64 &done, const qint64 &total)
{
    Net::WaitLimits limits;
    limits.deadline = QDeadlineTimer(qint64(overallSeconds) * 1000);
    limits.overallSeconds = overallSeconds;
    if (monitor)
        limits.keepGoing = [monitor, &done, &total] { return monitor->progress(done, total); };
    return limits;
}

// Tells the monitor a transfer begins, and that it ended on every way out.
class MonitorScope
{
public:
    MonitorScope(TransferMonitor *monitor, TransferMonitor::Direction direction) : m_monitor(monitor)
    {
        if (m_monitor)
            m_monitor->begin(direction);
    }
    ~MonitorScope() { release(); }
    void release()
    {
        if (m_monitor)
            m_monitor->end();
        m_monitor = nullptr;
    }

private:
    TransferMonitor *m_monitor;
};

} // namespace

TRemoteInfo::TRemoteInfo(Prompts &prompts, BusyCursor *cursor)
    : m_prompts(prompts), m_cursor(cursor), m_connection(std::make_unique<QTcpSocket>())
{
}

TRemoteInfo::~TRemoteInfo() = default;

QString TRemoteInfo::localCopyPath(const QString &folder, const QString &host)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        return folder + host;
    return folder + QLatin1Char('/') + host;
}

bool TRemoteInfo::isUsableFileName(const QString &host)
{
    if (host.isEmpty() || host == QLatin1String(".") || host == QLatin1String(".."))
        return false;
    for (const QChar c : host) {
        // Both separators: a name that holds either would leave the folder on one system.
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() < 32)
            return false;
    }
    return true;
}

std::optional<QString> TRemoteInfo::requestProblem() const
{
    // The command line ends at CR LF; a line break inside would let the name or password
    // smuggle a command of its own to the server.
    const auto breaks = [](const QByteArray &b) { return b.contains('\r') || b.contains('\n'); };
    if (breaks(User))
        return QStringLiteral("The user name holds a line break and cannot be sent to the server.");
    if (breaks(Password))
        return QStringLiteral("The password holds a line break and cannot be sent to the server.");
    return std::nullopt;
}

QByteArray TRemoteInfo::authLine() const
{
    return QByteArray("AUTH ") + User + ' ' + Password;
}

QString TRemoteInfo::GetConfig(const QString &folder)
{
    BusyCursorScope busy(m_cursor);
    MonitorScope watched(m_monitor, TransferMonitor::Direction::Fetch);
    QString error;
    const bool ok = fetch(folder, &error);
    watched.release();
    busy.release();
    if (!ok) {
        m_prompts.error(error);
        return {};
    }
    // The local copy's bytes are what the server sent; a record that cannot be written is
    // removed (a push then says the server cannot be checked, or returns unchecked).
    m_fetched.remember(localCopyPath(folder, Host));
    return Host;
}

bool TRemoteInfo::fetch(const QString &folder, QString *error)
{
    if (const auto problem = requestProblem()) {
        *error = *problem;
        return false;
    }
    m_done = 0;
    m_total = -1;
    const Net::WaitLimits limits = limitsFor(m_overallSeconds, m_monitor, m_done, m_total);
    Connection connection(*m_connection, m_timeoutMs, limits);
    Reply reply;
    if (!connection.logIn(connectAddress(), Port, authLine(), &reply, error))
        return false;
    if (reply.code != 200) {
        *error = reply.message();
        return false;
    }
    if (!connection.sendLine("GET", error))
        return false;

    const QString path = localCopyPath(folder, Host);
    if (!isUsableFileName(Host)) {
        // Nothing is deleted or written: the name would leave the program's folder.
        *error = QStringLiteral("Cannot create file ") + path;
        return false;
    }
    // The configuration arrives in a temporary file beside the local copy, which replaces
    // the copy only once all N bytes are there: a failed fetch leaves the previous copy as
    // it was (a push after it sends that, not a torn file), and a command reading the copy
    // meanwhile never sees half a file.
    SafeFile::PendingFile file(path);
    if (!file.open()) {
        *error = QStringLiteral("Cannot create file ") + path;
        return false;
    }
    char lengthBytes[4];
    if (!connection.readExactly(lengthBytes, 4, error))
        return false;
    const qint32 length = qFromBigEndian<qint32>(lengthBytes);
    if (length < 0) {
        *error = QStringLiteral("The server announced a configuration of %1 bytes; nothing was received.")
                     .arg(length);
        return false;
    }
    m_total = length;
    Sha256 hash;
    ConfigBytes::Scanner scanner;
    if (!connection.receiveInto(file, length, m_done, error, &hash, &scanner)) {
        *error += QStringLiteral("\r\n%1 of %2 bytes arrived; the local copy was left as it was.")
                      .arg(m_done)
                      .arg(length);
        return false;
    }
    // What arrived must load as a configuration: an empty or binary block would replace a
    // good local copy with one that cannot be opened (and a push would send it back).
    if (length == 0) {
        *error = QStringLiteral("The server sent an empty configuration; the local copy was left as it was.");
        return false;
    }
    if (!scanner.isConfiguration()) {
        *error = QStringLiteral("What the server sent is not a configuration file (no section line, or a NUL "
                                "byte); the local copy was left as it was.");
        return false;
    }
    if (!file.finish()) {
        *error = QStringLiteral("Unable to write to ") + path;
        return false;
    }
    connection.close(0);
    if (!file.commit()) {
        *error = QStringLiteral("Cannot create file ") + path;
        return false;
    }
    m_fetched = {length, hash.result()};
    return true;
}

bool TRemoteInfo::PutConfig(const QString &folder)
{
    BusyCursorScope busy(m_cursor);
    MonitorScope watched(m_monitor, TransferMonitor::Direction::Return);
    QString error;
    const bool ok = send(folder, &error);
    watched.release();
    busy.release();
    if (!ok)
        m_prompts.error(error);
    else
        m_sent.remember(localCopyPath(folder, Host));
    return ok;
}

bool TRemoteInfo::send(const QString &folder, QString *error)
{
    if (const auto problem = requestProblem()) {
        *error = *problem;
        return false;
    }
    // The local copy is opened before the server hears of a return: a server told "PUT"
    // and then given no data could take that for an empty configuration.
    const QString path = localCopyPath(folder, Host);
    QFile file(path);
    if (isUsableFileName(Host) && QFileInfo::exists(path) && !QFileInfo(path).isFile()) {
        *error = SafeFile::notRegularText(path); // a FIFO would block the return forever
        return false;
    }
    if (!isUsableFileName(Host) || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot open file ") + path;
        return false;
    }
    const qint64 size = file.size();
    if (size > std::numeric_limits<qint32>::max()) {
        *error = QStringLiteral("The file %1 is too large to send (%2 bytes).").arg(path).arg(size);
        return false;
    }

    m_done = 0;
    m_total = size;
    const Net::WaitLimits limits = limitsFor(m_overallSeconds, m_monitor, m_done, m_total);
    Connection connection(*m_connection, m_timeoutMs, limits);
    // The reply is read whole, whatever its code, and the file is sent all the same; but a
    // refused login means the server dropped the file, and that is reported as a failure
    // with the server's words.
    Reply reply;
    if (!connection.logIn(connectAddress(), Port, authLine(), &reply, error))
        return false;
    const bool refused = reply.code != 200;
    const auto failWith = [&](bool sent) {
        if (refused)
            *error = reply.message();
        return sent && !refused;
    };
    if (!connection.sendLine("PUT", error))
        return failWith(false);
    char lengthBytes[4];
    qToBigEndian<qint32>(qint32(size), lengthBytes);
    if (!connection.send(QByteArrayView(lengthBytes, 4), error))
        return failWith(false);
    QByteArray buffer(ChunkSize, Qt::Uninitialized);
    Sha256 sentHash;
    qint64 left = size;
    while (left > 0) {
        const qint64 got = file.read(buffer.data(), qMin<qint64>(left, buffer.size()));
        if (got <= 0) {
            *error = QStringLiteral("Cannot read file ") + path;
            return false;
        }
        if (!connection.send(QByteArrayView(buffer.constData(), got), error))
            return failWith(false);
        sentHash.add(QByteArrayView(buffer.constData(), got));
        left -= got;
        m_done += got;
        if (!connection.withinLimits(error))
            return failWith(false);
    }
    if (!connection.flush(error))
        return failWith(false);
    file.close();
    connection.close(DrainMs);
    m_sent = {size, sentHash.result()};
    return failWith(true);
}

TRemoteInfo::ServerCheck TRemoteInfo::CheckServer(const QString &folder)
{
    ServerCheck check;
    if (!isUsableFileName(Host))
        return check; // the return itself fails on the name
    const FetchedState::Recollection remembered = FetchedState::recall(localCopyPath(folder, Host));
    switch (remembered.kind) {
    case FetchedState::Recollection::Kind::None:
        return check;
    case FetchedState::Recollection::Kind::Unusable:
        check.outcome = ServerCheck::Outcome::RecordUnusable;
        check.reason = remembered.problem;
        return check;
    case FetchedState::Recollection::Kind::Remembered:
        break;
    }
    BusyCursorScope busy(m_cursor);
    MonitorScope watched(m_monitor, TransferMonitor::Direction::Fetch);
    FetchedState now;
    QString error;
    const bool ok = fetchState(&now, &error);
    watched.release();
    busy.release();
    if (!ok) {
        check.outcome = ServerCheck::Outcome::Unreachable;
        check.reason = error;
    } else if (now != remembered.state) {
        check.outcome = ServerCheck::Outcome::Changed;
    }
    return check;
}

QString TRemoteInfo::forcedPushCommand(const QString &folder, const QString &host)
{
    return QStringLiteral("quilmora-config --folder %1 push %2 --force").arg(folder, host);
}

QString TRemoteInfo::notSentText(const QString &folder) const
{
    return QStringLiteral("Your configuration is saved in the local copy %1 and was not sent to the server.")
        .arg(localCopyPath(folder, Host));
}

bool TRemoteInfo::PutConfigAfterCheck(const QString &folder)
{
    const ServerCheck check = CheckServer(folder);
    switch (check.outcome) {
    case ServerCheck::Outcome::Unchanged:
        break;
    case ServerCheck::Outcome::Changed:
    case ServerCheck::Outcome::RecordUnusable: {
        const QString question =
            check.outcome == ServerCheck::Outcome::Changed
                ? serverChangedQuestion()
                : QStringLiteral("The configuration on the server cannot be checked for changes made since it was "
                                 "fetched: %1. Replace it with yours?")
                      .arg(check.reason);
        if (!m_prompts.yesNo(question)) {
            m_prompts.information(notSentText(folder) +
                                  QStringLiteral(" To send it later, save again and answer Yes, or run:\n") +
                                  forcedPushCommand(folder, Host));
            return false;
        }
        break;
    }
    case ServerCheck::Outcome::Unreachable:
        // Nothing is sent over a change that could not be ruled out; the save itself stands.
        m_prompts.warning(notSentText(folder) +
                          QStringLiteral(" The server could not be checked for changes made since the fetch:\n") +
                          check.reason +
                          QStringLiteral("\nTo send it, save again once the server can be reached, or run:\n") +
                          forcedPushCommand(folder, Host));
        return false;
    }
    return PutConfig(folder);
}

// Fetches the server's configuration only to learn its size and fingerprint; nothing is
// written.
bool TRemoteInfo::fetchState(FetchedState *state, QString *error)
{
    if (const auto problem = requestProblem()) {
        *error = *problem;
        return false;
    }
    m_done = 0;
    m_total = -1;
    const Net::WaitLimits limits = limitsFor(m_overallSeconds, m_monitor, m_done, m_total);
    Connection connection(*m_connection, m_timeoutMs, limits);
    Reply reply;
    if (!connection.logIn(connectAddress(), Port, authLine(), &reply, error))
        return false;
    if (reply.code != 200) {
        *error = reply.message();
        return false;
    }
    if (!connection.sendLine("GET", error))
        return false;
    char lengthBytes[4];
    if (!connection.readExactly(lengthBytes, 4, error))
        return false;
    const qint32 length = qFromBigEndian<qint32>(lengthBytes);
    if (length < 0) {
        *error = QStringLiteral("The server announced a configuration of %1 bytes; nothing was received.")
                     .arg(length);
        return false;
    }
    m_total = length;
    Sha256 hash;
    QByteArray buffer(ChunkSize, Qt::Uninitialized);
    qint64 left = length;
    while (left > 0) {
        const qint64 piece = qMin<qint64>(left, buffer.size());
        if (!connection.readExactly(buffer.data(), piece, error) || !connection.withinLimits(error))
            return false;
        hash.add(QByteArrayView(buffer.constData(), piece));
        left -= piece;
        m_done += piece;
    }
    connection.close(0);
    *state = {length, hash.result()};
    return true;
}
