#include "wizard/WizardWriter.h"

#include "services/Deployment.h"

#include "config/AppIdentity.h"
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"

#include <QFileInfo>

namespace {

// A list value of the one name: a name that needs quoting is quoted, so that a user name
// with a blank stays one name; no name is an empty value (no list).
QByteArrayList oneName(const QByteArray &name)
{
    if (name.isEmpty())
        return {};
    return {name};
}

} // namespace

namespace WizardWriter {

QString homePageAddress()
{
    return Deployment::homePage();
}

QByteArray render(const WizardFields &f, const QDate &today)
{
    ConfigWriter w;
    w.beginSection("SERVER");
    w.writeInteger("Port", 119);
    w.writeString("Name", f.serverName);
    w.writeString("Version", AppIdentity::AppVersion);
    w.writeString("SMTPHost", f.smtpServer);
    w.writeInteger("Groups", 1);
    w.writeInteger("LastGroup", 2);
    w.writeInteger("Users", 1);
    w.writeInteger("LastUser", 2);
    w.writeInteger("Pops", 1);
    w.writeInteger("LastPOP", 2);
    w.writeString("OutboundPrefix", f.outboundPrefix);
    w.writeString("OutboundMarker", f.outboundMarker);
    w.writeString("AdminEmail", f.adminEmail);
    w.writeSwitch("AdminEmailActive", f.adminEmailActive);

    w.beginSection("USER1");
    w.writeString("Description", f.userDescription);
    w.writeString("Name", f.userName);
    w.writeBinary("Pass", f.userPass);

    w.beginSection("GROUP1");
    w.writeString("Name", f.groupName);
    w.writeString("ReadOnly", "N");
    w.writeString("Created", today.toString(QStringLiteral("yyyyMMdd")).toLatin1() + "000000");
    w.writeString("Description", f.groupDescription);
    w.writeString("OutboundAddress", f.groupOutboundAddress);
    w.writeList("Users", oneName(f.userName));

    w.beginSection("POP1");
    w.writeString("Host", f.popServer);
    w.writeInteger("Port", 110);
    w.writeString("UserID", f.popUser);
    w.writeBinary("Password", f.popPassword);
    w.writeList("Newsgroups", oneName(f.groupName));
    w.writeString("DefaultGroup", f.groupName);
    w.writeString("AutoReply", f.autoReply ? "Y" : "N");
    if (f.autoReply) {
        w.writeString("AutoReplyFrom", f.autoReplyFrom);
        w.writeBinary("AutoReplyBody", f.autoReplyBody);
        w.writeString("AutoReplySubject", f.autoReplySubject);
    }
    return w.bytes();
}

} // namespace WizardWriter

WizardWriteResult WriteConfiguration(const QString &path, const WizardFields &fields, const QDate &today,
                                     const std::function<bool()> &confirmOverwrite, QString *error)
{
    // The old file is replaced only after OK, and then by the atomic save itself, which
    // keeps it until the new one is complete.
    if (QFileInfo::exists(path) && !(confirmOverwrite && confirmOverwrite()))
        return WizardWriteResult::Declined;
    if (!ConfigDocument::saveBytes(path, WizardWriter::render(fields, today), error))
        return WizardWriteResult::Failed;
    return WizardWriteResult::Written;
}
