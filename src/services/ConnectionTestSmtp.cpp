// A connection test's SMTP steps, from connecting to QUIT.
#include "services/ConnectionTestSession.h"

#include "services/SmtpClient.h"

#include <QHostInfo>

namespace ConnectionTest::detail {

namespace {

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

} // namespace

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

} // namespace ConnectionTest::detail
