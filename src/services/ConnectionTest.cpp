#include "services/ConnectionTest.h"

#include "config/ConfigDocument.h"
#include "config/ItemKeys.h"
#include "config/JsonWriter.h"
#include "config/TextCodec.h"
#include "remote/ReplyReader.h"
#include "services/MailMessage.h"
#include "services/SmtpClient.h"
#include "services/TKDSupport.h"

#include <QAbstractSocket>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QHostInfo>
#include <QMutex>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>
#include <algorithm>

namespace ConnectionTest {

namespace {

const QByteArray Mask = QByteArrayLiteral("****");
// A POP3 CAPA list longer than this is not a list of capabilities.
constexpr int MaxCapaLines = 1000;
// SMTP replies are a few lines; an EHLO list of this size is already absurd.
constexpr qsizetype MaxSmtpReply = 64 * 1024;

QString decodeLine(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes);
}

// Everything one test shares between its steps: the deadlines, the clock, the result being
// built and the secrets to keep out of it.
class Session
{
public:
    Session(const Target &target, const Options &options, const std::function<bool()> &keepGoing, Result &result)
        : m_target(target)
        , m_options(options)
        , m_keepGoing(keepGoing)
        , m_testDeadline(qMax(options.testTimeoutMs, 1))
        , r(result)
    {
        limits.keepGoing = [this] { return !cancelled(); };
        m_total.start();
    }

    bool cancelled() const { return m_keepGoing && !m_keepGoing(); }
    int stepTimeoutMs() const { return qMax(1, qMin(m_options.stepTimeoutMs, m_options.testTimeoutMs)); }

    // Starts a step: its deadline is its own limit or what the test has left, whichever
    // ends first.
    void begin()
    {
        const QDeadlineTimer step(stepTimeoutMs());
        limits.deadline = step.deadline() < m_testDeadline.deadline() ? step : m_testDeadline;
        m_stepDeadlineIsTest = !(step.deadline() < m_testDeadline.deadline());
        m_step.start();
    }

    QString shown(const QByteArray &bytes) const { return decodeLine(blanked(bytes, m_target.password, m_target.userBytes)); }
    QString shown(const QString &text) const { return shown(text.toUtf8()); }
    QStringList shownLines(const QByteArrayList &lines) const
    {
        QStringList out;
        for (const QByteArray &l : lines)
            out.append(shown(l));
        return out;
    }

    Step &step(const QString &name, bool ok, const QString &sent = {}, const QStringList &reply = {},
               const QString &note = {})
    {
        Step s;
        s.name = name;
        s.ok = ok;
        s.ms = m_step.elapsed();
        s.sent = sent;
        s.reply = reply;
        s.note = shown(note);
        r.steps.append(s);
        return r.steps.last();
    }

    // Ends the test with a failure at `stepName`.
    bool fail(Verdict verdict, const QString &stepName, const QString &message)
    {
        if (r.failedStep.isEmpty()) {
            r.verdict = cancelled() ? Verdict::Cancelled : verdict;
            r.failedStep = stepName;
            r.message = shown(r.verdict == Verdict::Cancelled ? Net::cancelledText() : message);
        }
        return false;
    }

    // The deadline or the silence that ended a step, in words.
    QString overdueText() const
    {
        if (m_stepDeadlineIsTest && m_testDeadline.hasExpired())
            return QStringLiteral("The test did not finish within %1.").arg(secondsText(m_options.testTimeoutMs));
        return QStringLiteral("No answer within %1.").arg(secondsText(stepTimeoutMs()));
    }

    // The verdict and message of a failed read.
    void failRead(ReplyReader::Failure why, const QString &stepName, const QString &error)
    {
        switch (why) {
        case ReplyReader::Failure::Closed:
            fail(Verdict::ClosedEarly, stepName, QStringLiteral("The server closed the connection."));
            break;
        case ReplyReader::Failure::TooLong:
            fail(Verdict::NotServer, stepName, error);
            break;
        case ReplyReader::Failure::Silent:
        case ReplyReader::Failure::Limits:
            fail(Verdict::NoAnswer, stepName, overdueText());
            break;
        case ReplyReader::Failure::Network:
        case ReplyReader::Failure::None:
            fail(Verdict::ClosedEarly, stepName, error);
            break;
        }
    }

    void finish() { r.ms = m_total.elapsed(); }
    qint64 stepElapsed() const { return m_step.elapsed(); }

    Net::WaitLimits limits;

private:
    const Target &m_target;
    const Options &m_options;
    const std::function<bool()> &m_keepGoing;
    QDeadlineTimer m_testDeadline;
    bool m_stepDeadlineIsTest = false;
    QElapsedTimer m_step;
    QElapsedTimer m_total;

public:
    Result &r;
};

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

// ---- POP3 ----

class Pop3Dialogue
{
public:
    Pop3Dialogue(Session &s, const Options &o) : m_s(s), m_options(o) {}

    bool open(const QString &address, int port, QString *error, int *why)
    {
        m_socket = std::make_unique<QTcpSocket>();
        if (!Net::connectWithin(*m_socket, address, quint16(port), m_s.stepTimeoutMs(), &m_s.limits, error, why))
            return false;
        m_reader = std::make_unique<ReplyReader>(*m_socket, m_s.stepTimeoutMs());
        m_reader->setLimits(&m_s.limits);
        m_reader->setMaxLineLength(m_options.maxLineLength);
        return true;
    }

    // One status line ("+OK ..." or "-ERR ..."); false when none came.
    bool readStatus(const QString &stepName, QByteArray *line)
    {
        if (m_reader->readRawLine(line))
            return true;
        m_s.step(stepName, false, m_sent, {}, m_reader->errorText());
        m_s.failRead(m_reader->failure(), stepName, m_reader->errorText());
        return false;
    }

    bool send(const QString &stepName, const QByteArray &command, const QString &shownCommand)
    {
        m_sent = shownCommand;
        if (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->write(command + "\r\n") == command.size() + 2) {
            QString error;
            bool timedOut = false;
            QTcpSocket &socket = *m_socket;
            if (Net::waitSliced([&socket](int ms) { return socket.bytesToWrite() == 0 || socket.waitForBytesWritten(ms); },
                                [&socket] { return socket.state() == QAbstractSocket::ConnectedState; },
                                m_s.stepTimeoutMs(), &m_s.limits, &error, &timedOut)
                || socket.bytesToWrite() == 0)
                return true;
            m_s.step(stepName, false, m_sent, {}, error);
            if (!error.isEmpty() || timedOut)
                return m_s.fail(Verdict::NoAnswer, stepName, m_s.overdueText());
        } else {
            m_s.step(stepName, false, m_sent, {}, QStringLiteral("The server closed the connection."));
        }
        return m_s.fail(Verdict::ClosedEarly, stepName, QStringLiteral("The server closed the connection."));
    }

    // Sends a command and reads its status line. `ok` tells whether it was "+OK".
    bool exchange(const QString &stepName, const QByteArray &command, const QString &shownCommand, QByteArray *line,
                  bool *ok)
    {
        m_s.begin();
        if (!send(stepName, command, shownCommand) || !readStatus(stepName, line))
            return false;
        *ok = isOk(*line);
        return true;
    }

    static bool isOk(const QByteArray &line) { return line.left(3).compare("+OK", Qt::CaseInsensitive) == 0; }
    static bool isErr(const QByteArray &line) { return line.left(4).compare("-ERR", Qt::CaseInsensitive) == 0; }

    void abort()
    {
        if (m_socket)
            m_socket->abort();
        m_reader.reset();
        m_socket.reset();
    }

    bool connected() const { return m_socket && m_socket->state() == QAbstractSocket::ConnectedState; }
    ReplyReader &reader() { return *m_reader; }
    const QString &sent() const { return m_sent; }

private:
    Session &m_s;
    const Options &m_options;
    std::unique_ptr<QTcpSocket> m_socket;
    std::unique_ptr<ReplyReader> m_reader;
    QString m_sent;
};

// Ends a session politely when the server still listens: QUIT and its answer, as a step
// that fails nothing.
void popQuit(Session &s, Pop3Dialogue &d)
{
    if (!d.connected() || s.cancelled())
        return;
    s.begin();
    if (!d.send(QStringLiteral("QUIT"), "QUIT", QStringLiteral("QUIT")))
        return;
    QByteArray line;
    if (d.reader().readRawLine(&line))
        s.step(QStringLiteral("QUIT"), Pop3Dialogue::isOk(line), d.sent(), {s.shown(line)});
    else
        s.step(QStringLiteral("QUIT"), false, d.sent(), {}, d.reader().errorText());
}

bool hasLineBreak(const QByteArray &bytes)
{
    return bytes.contains('\r') || bytes.contains('\n');
}

void runPop(Session &s, const Target &t, const Options &o)
{
    QList<QHostAddress> addresses;
    if (!resolve(s, t, &addresses))
        return;
    Pop3Dialogue d(s, o);
    if (!connectAny(s, t, addresses,
                    [&](const QString &address, QString *error, int *why) { return d.open(address, t.port, error, why); }))
        return;

    // The greeting.
    s.begin();
    QByteArray line;
    if (!d.readStatus(QStringLiteral("greeting"), &line))
        return d.abort();
    if (!Pop3Dialogue::isOk(line)) {
        s.step(QStringLiteral("greeting"), false, {}, {s.shown(line)});
        if (Pop3Dialogue::isErr(line)) {
            s.fail(Verdict::Unreachable, QStringLiteral("greeting"),
                   QStringLiteral("The server turned the connection away: ") + s.shown(line));
            popQuit(s, d);
        } else {
            s.fail(Verdict::NotServer, QStringLiteral("greeting"),
                   QStringLiteral("The greeting is not a POP3 greeting: ") + s.shown(line.left(200)));
        }
        return d.abort();
    }
    s.step(QStringLiteral("greeting"), true, {}, {s.shown(line)});

    // CAPA: only to tell whether STLS is offered. A server without CAPA says -ERR.
    bool ok = false;
    if (!d.exchange(QStringLiteral("CAPA"), "CAPA", QStringLiteral("CAPA"), &line, &ok))
        return d.abort();
    QStringList capa{s.shown(line)};
    if (ok) {
        for (int n = 0;; ++n) {
            QByteArray cap;
            if (!d.readStatus(QStringLiteral("CAPA"), &cap))
                return d.abort();
            if (cap == ".")
                break;
            if (n >= MaxCapaLines) {
                s.step(QStringLiteral("CAPA"), false, d.sent(), capa);
                s.fail(Verdict::NotServer, QStringLiteral("CAPA"),
                       QStringLiteral("The capability list does not end after %1 lines.").arg(MaxCapaLines));
                return d.abort();
            }
            capa.append(s.shown(cap));
            if (Reply::trimmed(cap).compare("STLS", Qt::CaseInsensitive) == 0)
                s.r.notes.append(QStringLiteral("The server offers STLS; the gateway connects in plain text."));
        }
    } else if (!Pop3Dialogue::isErr(line)) {
        s.step(QStringLiteral("CAPA"), false, d.sent(), capa);
        s.fail(Verdict::NotServer, QStringLiteral("CAPA"), QStringLiteral("Not a POP3 reply: ") + s.shown(line.left(200)));
        return d.abort();
    }
    s.step(QStringLiteral("CAPA"), true, d.sent(), capa, ok ? QString() : QStringLiteral("no capability list"));

    // USER and PASS. A line break in either would end the command early and start another.
    for (const bool pass : {false, true}) {
        const QString name = pass ? QStringLiteral("PASS") : QStringLiteral("USER");
        const QByteArray value = pass ? t.password : t.userBytes;
        if (hasLineBreak(value)) {
            s.begin();
            s.step(name, false, {}, {}, QStringLiteral("not sent"));
            s.fail(Verdict::LoginRefused, name,
                   pass ? QStringLiteral("The password holds a line break and cannot be sent.")
                        : QStringLiteral("The user ID holds a line break and cannot be sent."));
            popQuit(s, d);
            return d.abort();
        }
        const QString shownCommand = pass ? QStringLiteral("PASS ") + QString::fromLatin1(Mask)
                                          : QStringLiteral("USER ") + s.shown(value);
        if (!d.exchange(name, name.toLatin1() + ' ' + value, shownCommand, &line, &ok))
            return d.abort();
        s.step(name, ok, d.sent(), {s.shown(line)});
        if (!ok) {
            if (Pop3Dialogue::isErr(line))
                s.fail(Verdict::LoginRefused, name, s.shown(line));
            else
                s.fail(Verdict::NotServer, name, QStringLiteral("Not a POP3 reply: ") + s.shown(line.left(200)));
            popQuit(s, d);
            return d.abort();
        }
    }

    // STAT: "+OK <messages> <octets>".
    if (!d.exchange(QStringLiteral("STAT"), "STAT", QStringLiteral("STAT"), &line, &ok))
        return d.abort();
    if (!ok) {
        s.step(QStringLiteral("STAT"), false, d.sent(), {s.shown(line)});
        s.fail(Pop3Dialogue::isErr(line) ? Verdict::LoginRefused : Verdict::NotServer, QStringLiteral("STAT"),
               s.shown(line.left(200)));
        popQuit(s, d);
        return d.abort();
    }
    const QList<QByteArray> words = Reply::trimmed(line.mid(3)).split(' ');
    bool countOk = false, sizeOk = false;
    const qint64 messages = words.value(0).toLongLong(&countOk);
    const qint64 octets = words.value(1).toLongLong(&sizeOk);
    QString note;
    if (countOk && sizeOk && messages >= 0 && octets >= 0) {
        s.r.messages = messages;
        s.r.octets = octets;
        note = QStringLiteral("%1 messages, %2 octets").arg(messages).arg(octets);
    } else {
        note = QStringLiteral("the mailbox's size is not given");
    }
    s.step(QStringLiteral("STAT"), true, d.sent(), {s.shown(line)}, note);

    // QUIT.
    s.begin();
    if (d.send(QStringLiteral("QUIT"), "QUIT", QStringLiteral("QUIT"))) {
        QByteArray bye;
        if (d.reader().readRawLine(&bye)) {
            s.step(QStringLiteral("QUIT"), Pop3Dialogue::isOk(bye), d.sent(), {s.shown(bye)});
        } else {
            s.step(QStringLiteral("QUIT"), false, d.sent(), {}, d.reader().errorText());
            s.r.notes.append(QStringLiteral("The server did not answer QUIT."));
        }
    } else {
        // A server that hangs up at QUIT has still let the gateway in.
        s.r.failedStep.clear();
        s.r.verdict = s.cancelled() ? Verdict::Cancelled : Verdict::Works;
        s.r.message.clear();
        if (!s.cancelled())
            s.r.notes.append(QStringLiteral("The server did not answer QUIT."));
    }
    d.abort();
    if (s.r.verdict == Verdict::Works)
        s.r.message = note;
}

// ---- SMTP ----

void smtpFail(Session &s, SmtpClient &c, const QString &stepName)
{
    if (c.failure() == ReplyReader::Failure::None)
        return; // the caller judges the reply
    s.failRead(c.failure(), stepName, c.errorText());
}

QStringList replyLines(const Session &s, const Reply &reply)
{
    return s.shownLines(reply.lines);
}

void smtpQuit(Session &s, SmtpClient &c, bool failed)
{
    if (!c.connected() || s.cancelled())
        return;
    s.begin();
    const bool ok = c.Quit();
    s.step(QStringLiteral("QUIT"), ok, QStringLiteral("QUIT"), replyLines(s, c.lastReply()), ok ? QString() : c.errorText());
    if (!ok && !failed)
        s.r.notes.append(QStringLiteral("The server did not answer QUIT as expected."));
}

void runSmtp(Session &s, const Target &t, const Options &o)
{
    QList<QHostAddress> addresses;
    if (!resolve(s, t, &addresses))
        return;
    SmtpClient c;
    c.timeoutMs = s.stepTimeoutMs();
    c.limits = &s.limits;
    c.maxLineLength = o.maxLineLength;
    c.maxReplySize = MaxSmtpReply;
    c.HeloName = o.heloName;
    c.Port = quint16(t.port);
    if (!connectAny(s, t, addresses, [&](const QString &address, QString *error, int *why) {
            c.Host = address;
            const bool ok = c.Open();
            *error = c.errorText();
            *why = c.openError();
            return ok;
        }))
        return;

    // The greeting.
    s.begin();
    if (!c.ReadGreeting()) {
        s.step(QStringLiteral("greeting"), false, {}, replyLines(s, c.lastReply()), c.errorText());
        smtpFail(s, c, QStringLiteral("greeting"));
        if (s.r.failedStep.isEmpty()) {
            const int code = c.lastReply().code;
            if (code >= 400 && code < 600) {
                s.fail(Verdict::Unreachable, QStringLiteral("greeting"),
                       QStringLiteral("The server turned the connection away: ") + s.shown(c.errorText()));
                smtpQuit(s, c, true);
            } else {
                s.fail(Verdict::NotServer, QStringLiteral("greeting"),
                       QStringLiteral("The greeting is not an SMTP greeting: ")
                           + s.shown(c.lastReply().lines.value(0).left(200)));
            }
        }
        return;
    }
    s.step(QStringLiteral("greeting"), true, {}, replyLines(s, c.lastReply()));

    // EHLO, else HELO.
    s.begin();
    qint64 ehloMs = -1;
    c.beforeHelo = [&s, &ehloMs] {
        ehloMs = s.stepElapsed();
        s.begin(); // HELO is a step of its own, with its own deadline
    };
    const bool hello = c.Hello();
    const QString name = o.heloName.isEmpty() ? QHostInfo::localHostName() : o.heloName;
    const Reply ehlo = c.ehloReply();
    if (!c.usedHelo() || !ehlo.lines.isEmpty()) {
        const bool ehloOk = ehlo.code == 250;
        Step &step = s.step(QStringLiteral("EHLO"), ehloOk, QStringLiteral("EHLO ") + name, replyLines(s, ehlo),
                            ehloOk ? QString()
                                   : (ehlo.lines.isEmpty() ? c.errorText() : QStringLiteral("not accepted; trying HELO")));
        if (ehloMs >= 0)
            step.ms = ehloMs;
        if (ehloOk) {
            for (qsizetype i = 1; i < ehlo.lines.size(); ++i)
                s.r.extensions.append(s.shown(ehlo.lines[i].mid(4)));
        }
    }
    if (c.usedHelo()) {
        const Reply &helo = c.lastReply();
        s.step(QStringLiteral("HELO"), hello, QStringLiteral("HELO ") + name, hello || !helo.lines.isEmpty() ? replyLines(s, helo) : QStringList(),
               hello ? QStringLiteral("no extensions (the server does not speak ESMTP)") : c.errorText());
    }
    if (!hello) {
        const QString stepName = c.usedHelo() ? QStringLiteral("HELO") : QStringLiteral("EHLO");
        smtpFail(s, c, stepName);
        if (s.r.failedStep.isEmpty()) {
            s.fail(Verdict::NotServer, stepName, QStringLiteral("Neither EHLO nor HELO was accepted: ") + s.shown(c.errorText()));
            smtpQuit(s, c, true);
        }
        return;
    }
    for (const QString &e : std::as_const(s.r.extensions)) {
        if (e.compare(QLatin1String("STARTTLS"), Qt::CaseInsensitive) == 0)
            s.r.notes.append(QStringLiteral("The server offers STARTTLS; the gateway sends in plain text."));
    }

    // AUTH, when a user is set.
    if (!t.user.isEmpty()) {
        const QStringList offered = c.advertisedMechanisms();
        if (offered.isEmpty()) {
            s.r.notes.append(QStringLiteral("The server offers no login; the user name is not used."));
        } else if (!offered.contains(QLatin1String("LOGIN")) && !offered.contains(QLatin1String("PLAIN"))) {
            s.begin();
            s.step(QStringLiteral("AUTH"), false, {}, {}, QStringLiteral("offered: ") + offered.join(QLatin1Char(' ')));
            s.fail(Verdict::NoUsableLogin, QStringLiteral("AUTH"),
                   QStringLiteral("The server offers no login by PLAIN or LOGIN, only ") + offered.join(QStringLiteral(", ")) + QLatin1Char('.'));
            smtpQuit(s, c, true);
            return;
        } else {
            // LOGIN first: the exchange the program's own mail uses.
            const bool login = offered.contains(QLatin1String("LOGIN"));
            const QString stepName = login ? QStringLiteral("AUTH LOGIN") : QStringLiteral("AUTH PLAIN");
            c.Username = t.user;
            c.PasswordBytes = t.password;
            s.begin();
            const bool ok = c.Authenticate(login ? SmtpClient::Mechanism::Login : SmtpClient::Mechanism::Plain);
            const QString sent = login ? QStringLiteral("AUTH LOGIN, the user name, ") + QString::fromLatin1(Mask)
                                       : QStringLiteral("AUTH PLAIN ") + QString::fromLatin1(Mask);
            s.step(stepName, ok, sent, replyLines(s, c.lastReply()), ok ? QStringLiteral("logged in") : c.errorText());
            if (!ok) {
                smtpFail(s, c, stepName);
                if (s.r.failedStep.isEmpty()) {
                    s.fail(Verdict::LoginRefused, stepName, s.shown(c.lastReply().lines.join(' ')));
                    smtpQuit(s, c, true);
                }
                return;
            }
        }
    }

    smtpQuit(s, c, false);
    QStringList found;
    if (!s.r.extensions.isEmpty())
        found.append(QStringLiteral("extensions: ") + s.r.extensions.join(QStringLiteral(", ")));
    else
        found.append(QStringLiteral("no extensions"));
    s.r.message = found.join(QStringLiteral("; "));
}

QString padded(const QString &text, qsizetype width)
{
    return text + QString(qMax(qsizetype(0), width - text.size()), QLatin1Char(' '));
}

void replaceAll(QByteArray &text, const QByteArray &secret)
{
    if (secret.isEmpty())
        return;
    const QByteArray lowerSecret = secret.toLower();
    QByteArray lower = text.toLower();
    qsizetype at = 0;
    while ((at = lower.indexOf(lowerSecret, at)) >= 0) {
        text.replace(at, secret.size(), Mask);
        lower.replace(at, secret.size(), Mask);
        at += Mask.size();
    }
}

} // namespace

QString verdictText(Verdict verdict, Kind kind)
{
    switch (verdict) {
    case Verdict::Works: return QStringLiteral("works");
    case Verdict::LoginRefused: return QStringLiteral("login refused");
    case Verdict::NoUsableLogin: return QStringLiteral("no usable login");
    case Verdict::HostUnknown: return QStringLiteral("host unknown");
    case Verdict::Unreachable: return QStringLiteral("unreachable");
    case Verdict::NoAnswer: return QStringLiteral("no answer in time");
    case Verdict::NotServer:
        return kind == Kind::Pop ? QStringLiteral("not a POP3 server") : QStringLiteral("not an SMTP server");
    case Verdict::ClosedEarly: return QStringLiteral("closed early");
    case Verdict::Cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

QString verdictCode(Verdict verdict, Kind kind)
{
    switch (verdict) {
    case Verdict::Works: return QStringLiteral("works");
    case Verdict::LoginRefused: return QStringLiteral("login-refused");
    case Verdict::NoUsableLogin: return QStringLiteral("no-usable-login");
    case Verdict::HostUnknown: return QStringLiteral("host-unknown");
    case Verdict::Unreachable: return QStringLiteral("unreachable");
    case Verdict::NoAnswer: return QStringLiteral("timeout");
    case Verdict::NotServer: return kind == Kind::Pop ? QStringLiteral("not-pop3") : QStringLiteral("not-smtp");
    case Verdict::ClosedEarly: return QStringLiteral("closed-early");
    case Verdict::Cancelled: return QStringLiteral("cancelled");
    }
    return {};
}

Target popTarget(const ConfigDocument &doc, int index, const TextCodec &codec)
{
    const TPop &p = *doc.pops[size_t(index)];
    Target t;
    t.kind = Kind::Pop;
    t.index = index;
    t.host = codec.decode(p.Host);
    t.port = p.Port;
    t.user = codec.decode(p.UserID);
    t.userBytes = p.UserID;
    t.password = p.Password;
    const QByteArray name = ItemKeys::itemName(doc, ItemKeys::Kind::Pop, index);
    t.item = ItemKeys::itemsNamed(doc, ItemKeys::Kind::Pop, name, codec).size() > 1
                 ? ItemKeys::positionAddress(ItemKeys::Kind::Pop, index)
                 : QStringLiteral("pop:") + codec.decode(name);
    return t;
}

Target smtpTarget(const ServerSettings &server, const TextCodec &codec)
{
    Target t;
    t.kind = Kind::Smtp;
    t.index = -1;
    t.item = QStringLiteral("server.smtp");
    t.host = codec.decode(server.SMTPHost);
    t.port = server.SMTPPort == 0 ? 25 : server.SMTPPort;
    t.user = codec.decode(server.SMTPUserID);
    t.userBytes = server.SMTPUserID;
    t.password = server.SMTPUserPass;
    return t;
}

QList<Target> targets(const ConfigDocument &doc, const TextCodec &codec)
{
    QList<Target> out;
    for (int i = 0; i < int(doc.pops.size()); ++i)
        out.append(popTarget(doc, i, codec));
    out.append(smtpTarget(doc.server, codec));
    return out;
}

Result run(const Target &target, const Options &options, const std::function<bool()> &keepGoing)
{
    Result r;
    r.kind = target.kind;
    r.index = target.index;
    r.item = target.item;
    r.host = target.host;
    r.port = target.port;
    r.user = target.user;
    Session s(target, options, keepGoing, r);
    if (target.kind == Kind::Pop)
        runPop(s, target, options);
    else
        runSmtp(s, target, options);
    s.finish();
    return r;
}

QList<Result> runAll(const QList<Target> &targets, const Options &options, const std::function<bool()> &keepGoing,
                     const std::function<void(int, const Result &)> &finished)
{
    QList<Result> results(targets.size());
    QMutex mutex;
    QThreadPool pool;
    pool.setMaxThreadCount(qBound(1, options.jobs, Options::MaxJobs));
    for (int i = 0; i < int(targets.size()); ++i) {
        pool.start([&, i] {
            Result r = run(targets[i], options, keepGoing);
            QMutexLocker lock(&mutex);
            results[i] = r;
            if (finished)
                finished(i, results[i]);
        });
    }
    pool.waitForDone();
    return results;
}

QByteArray blanked(const QByteArray &text, const QByteArray &password, const QByteArray &user)
{
    if (password.isEmpty())
        return text;
    QByteArray out = text;
    // The longest forms first, so a shorter one cannot break a longer one apart.
    QList<QByteArray> forms{QByteArray(1, '\0') + user + QByteArray(1, '\0') + password, password,
                            QString::fromLocal8Bit(password).toUtf8()};
    forms.append(forms[0].toBase64());
    forms.append(password.toBase64());
    forms.append(password.toBase64(QByteArray::OmitTrailingEquals));
    std::sort(forms.begin(), forms.end(), [](const QByteArray &a, const QByteArray &b) { return a.size() > b.size(); });
    for (const QByteArray &f : std::as_const(forms))
        replaceAll(out, f);
    return out;
}

QString secondsText(qint64 ms)
{
    if (ms < 1000)
        return QStringLiteral("%1 ms").arg(ms);
    if (ms % 1000 == 0)
        return QStringLiteral("%1 s").arg(ms / 1000);
    return QStringLiteral("%1 s").arg(QString::number(double(ms) / 1000.0, 'f', ms < 10000 ? 2 : 1));
}

QString table(const QList<Result> &results)
{
    const QStringList head{QStringLiteral("ITEM"), QStringLiteral("VERDICT"), QStringLiteral("TIME"),
                           QStringLiteral("FAILED STEP"), QStringLiteral("DETAILS")};
    QList<QStringList> rows;
    int working = 0;
    for (const Result &r : results) {
        QStringList details{r.message};
        details.append(r.notes);
        details.removeAll(QString());
        rows.append({r.item, verdictText(r.verdict, r.kind), secondsText(r.ms), r.failedStep,
                     details.join(QStringLiteral("; "))});
        working += r.works() ? 1 : 0;
    }
    QList<qsizetype> widths;
    for (int c = 0; c < head.size(); ++c) {
        qsizetype w = head[c].size();
        for (const QStringList &row : rows)
            w = qMax(w, row[c].size());
        widths.append(w);
    }
    QString out;
    auto line = [&](const QStringList &cells) {
        QString l;
        for (int c = 0; c < cells.size(); ++c)
            l += c + 1 < cells.size() ? padded(cells[c], widths[c] + 2) : cells[c];
        out += l.trimmed() + QLatin1Char('\n');
    };
    line(head);
    for (const QStringList &row : rows)
        line(row);
    out += QStringLiteral("%1 tested: %2 working, %3 not working\n")
               .arg(results.size())
               .arg(working)
               .arg(results.size() - working);
    return out;
}

QString stepsText(const Result &r)
{
    QString out = QStringLiteral("%1 (%2 port %3): %4 in %5\n")
                      .arg(r.item, r.host)
                      .arg(r.port)
                      .arg(verdictText(r.verdict, r.kind), secondsText(r.ms));
    for (const Step &s : r.steps) {
        out += QStringLiteral("  %1 %2 %3").arg(s.ok ? QStringLiteral("ok  ") : QStringLiteral("FAIL"), padded(s.name, 10),
                                                 secondsText(s.ms));
        if (!s.sent.isEmpty())
            out += QStringLiteral("  > ") + s.sent;
        if (!s.note.isEmpty())
            out += QStringLiteral("  (") + s.note + QLatin1Char(')');
        out += QLatin1Char('\n');
        for (const QString &l : s.reply)
            out += QStringLiteral("      < ") + l + QLatin1Char('\n');
    }
    if (!r.message.isEmpty())
        out += QStringLiteral("  ") + r.message + QLatin1Char('\n');
    for (const QString &n : r.notes)
        out += QStringLiteral("  note: ") + n + QLatin1Char('\n');
    return out;
}

QByteArray json(const QList<Result> &results)
{
    JsonWriter j;
    j.beginArray();
    for (const Result &r : results) {
        j.beginObject();
        j.value("item", r.item);
        j.value("kind", r.kind == Kind::Pop ? QStringLiteral("pop3") : QStringLiteral("smtp"));
        j.value("host", r.host);
        j.value("port", r.port);
        j.value("user", r.user);
        j.value("verdict", verdictCode(r.verdict, r.kind));
        j.value("verdictText", verdictText(r.verdict, r.kind));
        j.value("works", r.works());
        j.value("failedStep", r.failedStep);
        j.value("message", r.message);
        j.value("ms", r.ms);
        j.stringArray("addresses", r.addresses);
        if (r.kind == Kind::Pop) {
            if (r.messages >= 0) {
                j.value("messages", r.messages);
                j.value("octets", r.octets);
            } else {
                j.null("messages");
                j.null("octets");
            }
        } else {
            j.stringArray("extensions", r.extensions);
        }
        j.stringArray("notes", r.notes);
        j.beginArray("steps");
        for (const Step &s : r.steps) {
            j.beginObject();
            j.value("step", s.name);
            j.value("ok", s.ok);
            j.value("ms", s.ms);
            j.value("sent", s.sent);
            j.stringArray("reply", s.reply);
            j.value("note", s.note);
            j.endObject();
        }
        j.endArray();
        j.endObject();
    }
    j.endArray();
    return j.bytes() + '\n';
}

bool sendTestMessage(const ServerSettings &server, const TextCodec &codec, const Options &options,
                     const std::function<bool()> &keepGoing, QString *recipient, QString *error)
{
    const Target t = smtpTarget(server, codec);
    const QString to = codec.decode(server.AdminEmail).trimmed();
    if (recipient)
        *recipient = to;
    const auto failWith = [&](const QString &text) {
        if (error)
            *error = QString::fromUtf8(blanked(text.toUtf8(), t.password, t.userBytes));
        return false;
    };
    if (to.isEmpty())
        return failWith(QStringLiteral("No administrator e-mail address is set."));
    if (!TKDSupport::isPlainAddress(to))
        return failWith(QStringLiteral("The administrator e-mail address is not a plain address: ") + to);
    if (t.host.trimmed().isEmpty())
        return failWith(QStringLiteral("No outgoing mail server is set."));

    MailMessage message;
    message.From = to;
    message.setRecipients(to);
    const QString serverName = codec.decode(server.Name);
    message.Subject = QStringLiteral("Quilmora test message: the outgoing mail server works");
    message.Body = {
        QStringLiteral("This is a test message from the Quilmora Configuration Editor."),
        QString(),
        QStringLiteral("It was sent through the outgoing mail server %1, port %2, to the administrator's").arg(t.host).arg(t.port),
        QStringLiteral("address, to show that the server %1 can send mail. No reply is needed.")
            .arg(serverName.isEmpty() ? QStringLiteral("(no name)") : serverName),
    };

    Net::WaitLimits limits = Net::limitsWithin(qMax(1, (options.testTimeoutMs + 999) / 1000));
    limits.deadline = QDeadlineTimer(qMax(1, options.testTimeoutMs));
    limits.keepGoing = keepGoing;
    SmtpClient c;
    c.timeoutMs = qMax(1, qMin(options.stepTimeoutMs, options.testTimeoutMs));
    c.limits = &limits;
    c.maxLineLength = options.maxLineLength;
    c.maxReplySize = MaxSmtpReply;
    c.HeloName = options.heloName;
    c.Host = t.host;
    c.Port = quint16(t.port);
    if (!c.Connect())
        return failWith(QStringLiteral("Message could not be sent: ") + c.errorText());
    if (!t.user.isEmpty()) {
        const QStringList offered = c.advertisedMechanisms();
        const bool login = offered.contains(QLatin1String("LOGIN"));
        if (login || offered.contains(QLatin1String("PLAIN"))) {
            c.Username = t.user;
            c.PasswordBytes = t.password;
            if (!c.Authenticate(login ? SmtpClient::Mechanism::Login : SmtpClient::Mechanism::Plain)) {
                const QString why = c.errorText();
                c.Disconnect();
                return failWith(QStringLiteral("Message could not be sent: ") + why);
            }
        }
    }
    if (!c.Send(message)) {
        const QString why = c.errorText();
        c.Disconnect();
        return failWith(QStringLiteral("Message could not be sent: ") + why);
    }
    c.Quit();
    return true;
}

} // namespace ConnectionTest
