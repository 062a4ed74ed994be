#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <functional>

// What the setup wizard writes: the content of its fields as bytes of the configuration's
// character set. The defaults are the wizard's initial contents, shared by the window and
// `quilmora-config wizard`.
struct WizardFields
{
    // Server settings
    QByteArray serverName = "Quilmora";
    QByteArray smtpServer = "mail";
    QByteArray adminEmail = "admin@yourcompany.example";
    bool adminEmailActive = false;
    // Outbound settings
    QByteArray outboundPrefix = "QM-";
    QByteArray outboundMarker = ">>>";
    // Incoming mail
    QByteArray popServer;
    QByteArray popUser;
    QByteArray popPassword; // the password's own bytes
    // AutoReply
    bool autoReply = true;
    QByteArray autoReplyFrom;
    QByteArray autoReplySubject;
    QByteArray autoReplyBody; // lines separated by CR LF, nothing after the last one
    // Groups
    QByteArray groupName;
    QByteArray groupDescription;
    QByteArray groupOutboundAddress;
    // Users
    QByteArray userDescription;
    QByteArray userName;
    QByteArray userPass; // a 16-byte password digest, or empty
};

namespace WizardWriter {

// The question asked before an existing configuration is replaced.
inline constexpr char OverwriteQuestion[] = "A configuration file already exists. Continuing will overwrite it";

// The product's home page, shown on the wizard's last page (the deployment value, as the
// Help menu opens it).
QString homePageAddress();

// The first configuration file: SERVER, USER1, GROUP1 and POP1 in this order, the keys in
// the wizard's order. `Version` "1.05" follows `Name`, so the file is read in the current
// format (the user's digest and the auto-reply body are taken as they stand). The one user
// name and the one group name are written as list values, quoted when a name needs it.
// `Created` is `today` as yyyymmdd followed by 000000.
QByteArray render(const WizardFields &fields, const QDate &today);

} // namespace WizardWriter

enum class WizardWriteResult { Written, Declined, Failed };

// Writes the first configuration file at `path`. When a file stands there, `confirmOverwrite`
// is asked first (OK gives true): on false nothing is written and the file stays as it was
// (Declined). The file is replaced atomically through the editor's own save, so a failure
// never leaves a half-written configuration; it gives Failed with "Unable to write to
// <path>" in `error`.
WizardWriteResult WriteConfiguration(const QString &path, const WizardFields &fields, const QDate &today,
                                     const std::function<bool()> &confirmOverwrite, QString *error);
