#include "services/ConnectionTest.h"
#include "services/ConnectionTestSession.h"

#include "config/ConfigDocument.h"
#include "config/ItemKeys.h"
#include "config/JsonWriter.h"
#include "config/TextCodec.h"
#include "services/MailMessage.h"
#include "services/SmtpClient.h"
#include "services/TKDSupport.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QThreadPool>
#include <algorithm>

namespace ConnectionTest {

using namespace detail;

namespace {

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
