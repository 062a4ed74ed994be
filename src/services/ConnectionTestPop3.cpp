// A connection test's POP3 steps, from connecting to QUIT.
#include "services/ConnectionTestSession.h"

#include <QAbstractSocket>
#include <QTcpSocket>
#include <memory>

namespace ConnectionTest::detail {

namespace {

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

} // namespace

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

} // namespace ConnectionTest::detail
