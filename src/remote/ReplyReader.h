#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QDeadlineTimer>
#include <QString>
#include <functional>

class QIODevice;
class QAbstractSocket;

// The network layer's shared pieces: the failure texts every protocol shows and the one
// reader of text replies ("200 OK", "250-first" ... "250 last") used by the remote
// configuration transfer, the mail client and the version check.
namespace Net {

// How long a connect or a wait for data may stay silent before it fails. A server that
// stops talking must never hang the program.
inline constexpr int DefaultTimeoutMs = 60000;

// "Socket Error # <number>\r\n<description>".
QString socketErrorText(int number, const QString &description);
// The text for a connection the peer closed while more was expected.
QString closedGracefullyText();
// The failure text for the socket's last error: the closed-by-peer text when the server
// hung up, else the socket error with the system's error number.
QString socketFailureText(const QAbstractSocket &socket);
// The system error number that stands for a socket's error (ECONNREFUSED, ETIMEDOUT, ...).
int systemErrorNumber(const QAbstractSocket &socket);

// The limits of one whole transfer, on top of the silence allowed between two pieces: a
// deadline for everything (a server that drips one byte a second is given up on), and a
// watcher asked between short slices of every wait, which may keep a window alive and
// cancel. A socket wait is cut into slices of at most SliceMs for this.
struct WaitLimits
{
    static constexpr int SliceMs = 50;
    QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever);
    int overallSeconds = 0;            // for the message
    std::function<bool()> keepGoing;   // false cancels; may be empty
};

// The limits of a transfer that must end within `seconds` as a whole (no watcher yet).
WaitLimits limitsWithin(int seconds);

// Runs one network exchange, `work`, with the limits it is given. The core runs it on the
// calling thread; a window hands in one that runs it on a thread of its own behind a
// progress dialog whose Cancel it adds to the limits as their watcher. `work` then must
// not touch the window.
using Work = std::function<void(const WaitLimits &limits)>;
using Runner = std::function<void(WaitLimits limits, const Work &work)>;
// `runner` when there is one, else `work` on the calling thread.
void run(const Runner &runner, const WaitLimits &limits, const Work &work);

// Opens the connection of `socket` to host:port. Unlike a blocking wait for the
// connection, the wait is cut into slices (the host's name looked up meanwhile without
// blocking), so `limits` can cancel it or end it at their deadline before the connection
// is made. False, with `error` set and the socket closed, when it failed, stayed pending
// for `timeoutMs`, or `limits` ran out or cancelled.
// `why`, when given, receives the socket's error at the failure (SocketTimeoutError when
// the connection stayed pending too long).
bool connectWithin(QAbstractSocket &socket, const QString &host, quint16 port, int timeoutMs,
                   const WaitLimits *limits, QString *error, int *why = nullptr);

// "Transfer cancelled".
QString cancelledText();
// "The transfer did not finish within <n> seconds."
QString overdueText(int seconds);

// Waits until more bytes arrive on `device` (whatever it already holds). False, with
// `error` set, when the connection closed, failed or stayed silent for `timeoutMs`, or when
// `limits` ran out or cancelled.
bool waitForMoreData(QIODevice &device, int timeoutMs, QString *error, const WaitLimits *limits = nullptr);

// Runs `waitOnce(ms)`, a blocking wait that is true once its event came, in slices, until
// it is true (true), `stillWaiting()` turns false (a failure: false, `error` untouched),
// `timeoutMs` pass, or `limits` ran out or cancelled (false, `error` set).
bool waitSliced(const std::function<bool(int)> &waitOnce, const std::function<bool()> &stillWaiting, int timeoutMs,
                const WaitLimits *limits, QString *error, bool *timedOut);

} // namespace Net

// One reply of the server, its lines trimmed as read.
struct Reply
{
    int code = 0;
    QByteArrayList lines;

    // Every line from its 5th character on, each followed by CR LF.
    QByteArray text() const;
    // The message text without its final CR LF, decoded in the system's character set:
    // what the user is shown.
    QString message() const;

    // The numeric code of a reply whose first line is `firstLine`: its first four
    // characters trimmed, a trailing "-" dropped, read as a decimal number, else 0.
    static int codeOf(const QByteArray &firstLine);
    // Whether `line` ends a multi-line reply opened by `firstLine`.
    static bool endsMultiLine(const QByteArray &firstLine, const QByteArray &line);
    // A line as the reader keeps it: characters of code 32 or lower cut at both ends.
    static QByteArray trimmed(const QByteArray &line);
};

// Reads reply lines from a connected device (normally a QTcpSocket) by blocking waits.
// Lines end at LF; a CR before it is dropped. A line longer than MaxLineLength, a reply
// larger than MaxReplySize (blank lines included), silence longer than the timeout and a
// closed connection all end the read with an error text instead of growing memory or
// waiting forever.
class ReplyReader
{
public:
    static constexpr qsizetype MaxLineLength = 64 * 1024;
    static constexpr qsizetype MaxReplySize = 1024 * 1024;

    explicit ReplyReader(QIODevice &device, int timeoutMs = Net::DefaultTimeoutMs);

    // The limits of the transfer this reply belongs to (kept by the caller).
    void setLimits(const Net::WaitLimits *limits) { m_limits = limits; }
    // Tighter bounds for a caller that knows its replies are short (the connection tests
    // take a line over 4 KB for a sign of the wrong server, not for a reply).
    void setMaxLineLength(qsizetype bytes) { m_maxLine = qBound(qsizetype(1), bytes, MaxLineLength); }
    void setMaxReplySize(qsizetype bytes) { m_maxReply = qBound(qsizetype(1), bytes, MaxReplySize); }

    // Why the last read failed, for callers that tell the cases apart.
    enum class Failure {
        None,
        Closed,  // the server closed the connection
        TooLong, // a line or a reply beyond the bounds
        Silent,  // nothing came for the time allowed
        Limits,  // the overall deadline ran out or the watcher cancelled
        Network, // any other socket error
    };
    Failure failure() const { return m_failure; }

    // Reads one whole reply: blank lines skipped, "nnn-" lines continued up to the closing
    // "nnn " line. False on failure, with errorText() set.
    bool readReply(Reply *reply);

    // Reads one line as sent, without its LF and a CR before it (for protocols that read
    // lines of their own after a reply, e.g. name=value lines).
    bool readRawLine(QByteArray *line);

    // Reads the next line that is not empty once trimmed.
    bool readTrimmedLine(QByteArray *line);

    const QString &errorText() const { return m_error; }

private:
    bool nextLine(QByteArray *line);         // counts against the budget
    bool nextNonEmptyLine(QByteArray *line); // likewise, blank lines included
    bool waitForData();
    bool fail(const QString &text, Failure failure = Failure::TooLong);

    QIODevice &m_device;
    int m_timeoutMs;
    qsizetype m_budget = MaxReplySize; // bytes one reply may still consume
    QString m_error;
    QByteArray m_lineBuffer;
    const Net::WaitLimits *m_limits = nullptr;
    qsizetype m_maxLine = MaxLineLength;
    qsizetype m_maxReply = MaxReplySize;
    Failure m_failure = Failure::None;
};
