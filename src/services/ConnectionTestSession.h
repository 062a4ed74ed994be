#pragma once

// The parts of a connection test that its POP3 and SMTP steps share: one test's session
// (its deadlines, clock, result and secrets), name resolution and connecting.
#include "services/ConnectionTest.h"

#include "remote/ReplyReader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <functional>

namespace ConnectionTest::detail {

inline const QByteArray Mask = QByteArrayLiteral("****");
// A POP3 CAPA list longer than this is not a list of capabilities.
constexpr int MaxCapaLines = 1000;
// SMTP replies are a few lines; an EHLO list of this size is already absurd.
constexpr qsizetype MaxSmtpReply = 64 * 1024;

inline QString decodeLine(const QByteArray &bytes)
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
bool resolve(Session &s, const Target &t, QList<QHostAddress> *addresses);
// The verdict of a connection that could not be made.
Verdict connectVerdict(int socketError);
// Tries the addresses in turn with `open`, which connects to one and tells the socket's
// error on failure.
bool connectAny(Session &s, const Target &t, const QList<QHostAddress> &addresses,
                const std::function<bool(const QString &address, QString *error, int *why)> &open);

// The steps of a test of an incoming account (POP3) and of the outgoing server (SMTP).
void runPop(Session &s, const Target &t, const Options &o);
void runSmtp(Session &s, const Target &t, const Options &o);

} // namespace ConnectionTest::detail
