#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

class ConfigDocument;
class TextCodec;
class TPop;
struct ServerSettings;

// Connection tests of the mail servers a configuration names: every incoming account
// (POP3: resolve, connect, greeting, CAPA, USER, PASS, STAT, QUIT) and the outgoing mail
// server (SMTP: resolve, connect, greeting, EHLO or HELO, AUTH when a user is set, QUIT).
// No mail is fetched, deleted or sent; sendTestMessage() is the one action that sends.
//
// Every step is timed and keeps the server's own words. A password never leaves this code
// in anything it returns: commands that carry it are shown as "****", and a reply that
// echoes it (as typed or in Base64) has it replaced by "****" too.
//
// Every step has a deadline and so has each test as a whole, so a server that is silent,
// drips its greeting or sends an endless line ends a test, never hangs it. Tests run side
// by side on threads of their own, at most MaxJobs at a time.
namespace ConnectionTest {

enum class Kind { Pop, Smtp };

enum class Verdict {
    Works,
    LoginRefused,  // the server said no to the user name or the password
    NoUsableLogin, // a user is set, but the server offers neither PLAIN nor LOGIN
    HostUnknown,   // the name does not resolve (or no host is set)
    Unreachable,   // the connection was refused, the network unreachable, the service turned us away
    NoAnswer,      // a step or the test ran past its deadline
    NotServer,     // the replies are not the protocol's (garbage, a line over the limit)
    ClosedEarly,   // the server closed the connection in the middle
    Cancelled,
};

// "works", "login refused", "no usable login", "host unknown", "unreachable",
// "no answer in time", "not a POP3 server" / "not an SMTP server", "closed early", "cancelled".
QString verdictText(Verdict verdict, Kind kind);
// The same as one word for scripts: "works", "login-refused", "no-usable-login",
// "host-unknown", "unreachable", "timeout", "not-pop3" / "not-smtp", "closed-early", "cancelled".
QString verdictCode(Verdict verdict, Kind kind);

// What to test: a server and the login to try.
struct Target
{
    Kind kind = Kind::Pop;
    int index = -1;      // the account's position among the accounts, from 0; -1: the outgoing server
    QString item;        // how quilmora-config names it: "pop:ann/pop.example", "server.smtp"
    QString host;
    int port = 0;
    QString user;        // decoded, for display
    QByteArray userBytes; // as stored, sent as they are
    QByteArray password; // never shown
};

struct Options
{
    static constexpr int MaxJobs = 8;
    int testTimeoutMs = 15000; // each test as a whole
    int stepTimeoutMs = 10000; // each step (never more than the test has left)
    int jobs = MaxJobs;        // tests side by side, 1 to MaxJobs
    qsizetype maxLineLength = 4096; // a longer reply line fails the test
    QString heloName;          // empty: the local host name
};

struct Step
{
    QString name;      // "resolve", "connect", "greeting", "CAPA", "USER", "PASS", "STAT", "EHLO", "HELO", "AUTH PLAIN", "QUIT"
    bool ok = true;
    qint64 ms = 0;
    QString sent;      // the command as sent, a password as "****"
    QStringList reply; // the server's lines, a password as "****"
    QString note;      // what the step found or why it failed
};

struct Result
{
    Kind kind = Kind::Pop;
    int index = -1;
    QString item;
    QString host;
    int port = 0;
    QString user;
    Verdict verdict = Verdict::Works;
    QString failedStep; // empty when it works
    QString message;    // one line: what failed, or what was found
    qint64 ms = 0;
    QList<Step> steps;
    QStringList notes;      // facts that fail nothing ("offers STLS ...")
    QStringList addresses;  // what the host name resolved to
    QStringList extensions; // SMTP: the EHLO reply's extension lines
    qint64 messages = -1;   // POP3: STAT
    qint64 octets = -1;

    bool works() const { return verdict == Verdict::Works; }
};

// Every incoming account in file order, then the outgoing mail server.
QList<Target> targets(const ConfigDocument &doc, const TextCodec &codec);
Target popTarget(const ConfigDocument &doc, int index, const TextCodec &codec);
Target smtpTarget(const ServerSettings &server, const TextCodec &codec);

// Runs one test on the calling thread. `keepGoing`, asked often, cancels when false.
Result run(const Target &target, const Options &options, const std::function<bool()> &keepGoing = {});

// Runs the tests side by side, at most options.jobs (never more than MaxJobs) at a time, and
// returns their results in the order of `targets`. `finished` is told of each result as it
// comes, from the test's thread, one call at a time.
QList<Result> runAll(const QList<Target> &targets, const Options &options,
                     const std::function<bool()> &keepGoing = {},
                     const std::function<void(int index, const Result &result)> &finished = {});

// `text` with every appearance of the password (letter case aside, also in Base64 and in
// the PLAIN credentials of `user`) replaced by "****".
QByteArray blanked(const QByteArray &text, const QByteArray &password, const QByteArray &user = {});

// "250 ms", "1.25 s", "3 s"
QString secondsText(qint64 ms);
// The results as a table: item, verdict, time, failed step, details; a summary line last.
QString table(const QList<Result> &results);
// The steps of one result, one line each, with the server's words under them.
QString stepsText(const Result &result);
// The results as a JSON array.
QByteArray json(const QList<Result> &results);

// Sends one short mail through the outgoing mail server to the administrator's address
// (AdminEmail), its subject saying that it is a test. False with `error` set (a password
// blanked) when it could not be sent; `recipient` receives the address.
bool sendTestMessage(const ServerSettings &server, const TextCodec &codec, const Options &options,
                     const std::function<bool()> &keepGoing, QString *recipient, QString *error);

} // namespace ConnectionTest
