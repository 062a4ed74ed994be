// dump and normalize: load as the editor does at start-up; print, or save unchanged.
#include "cli/CliCommand.h"
#include "cli/JsonWriter.h"
#include "config/ConfigDocument.h"
#include "config/ValueForms.h"

#include <QStringList>

namespace {

QString hex(const QByteArray &bytes)
{
    return QString::fromLatin1(ValueForms::encodeBinary(bytes));
}

QStringList decodeAll(const TextCodec &codec, const QByteArrayList &names)
{
    QStringList out;
    out.reserve(names.size());
    for (const QByteArray &n : names)
        out.append(codec.decode(n));
    return out;
}

int runDump(CliContext &ctx)
{
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    ConfigDocument doc;
    QString error;
    if (!Cli::loadConfiguration(ctx, doc, &error))
        return ctx.fail(error);

    const TextCodec &c = ctx.codec;
    const ServerSettings &s = doc.server;
    JsonWriter j;
    j.beginObject();
    j.value("oldFormat", doc.oldFormat);
    j.beginObject("server");
    j.value("Port", s.Port);
    j.value("Name", c.decode(s.Name));
    j.value("Version", c.decode(s.Version));
    j.value("SMTPHost", c.decode(s.SMTPHost));
    j.value("OutboundPrefix", c.decode(s.OutboundPrefix));
    j.value("OutboundMarker", c.decode(s.OutboundMarker));
    j.value("BindIP", c.decode(s.BindIP));
    j.value("AdminEmail", c.decode(s.AdminEmail));
    j.value("AdminEmailActive", s.AdminEmailActive);
    j.value("SMTPUserID", c.decode(s.SMTPUserID));
    j.value("SMTPUserPass", hex(s.SMTPUserPass));
    j.value("SMTPPort", s.SMTPPort);
    j.value("LogSize", s.LogSize);
    j.value("Log", s.Log);
    j.value("AdminUser", c.decode(s.AdminUser));
    j.value("AdminPass", hex(s.AdminPass));
    j.value("ConfigPort", s.ConfigPort);
    j.endObject();

    j.beginArray("pops");
    for (const auto &p : doc.pops) {
        j.beginObject();
        j.value("Host", c.decode(p->Host));
        j.value("Port", p->Port);
        j.value("UserID", c.decode(p->UserID));
        j.value("Password", hex(p->Password));
        j.stringArray("Newsgroups", decodeAll(c, p->Newsgroups));
        j.value("DefaultGroup", c.decode(p->DefaultGroup));
        j.value("AutoReply", c.decode(p->AutoReply));
        j.value("AutoReplyFrom", c.decode(p->AutoReplyFrom));
        j.value("AutoReplyBody", c.decode(p->AutoReplyBody));
        j.value("AutoReplySubject", c.decode(p->AutoReplySubject));
        j.value("AutoReplyFromIgnore", c.decode(p->AutoReplyFromIgnore));
        j.value("AssignOutboundID", c.decode(p->AssignOutboundID));
        j.value("SafetyBox", c.decode(p->SafetyBox));
        j.endObject();
    }
    j.endArray();

    j.beginArray("users");
    for (const auto &u : doc.users) {
        j.beginObject();
        j.value("Name", c.decode(u->Name));
        j.value("Pass", hex(u->Pass));
        j.value("Description", c.decode(u->Description));
        j.endObject();
    }
    j.endArray();

    j.beginArray("groups");
    for (const auto &g : doc.groups) {
        j.beginObject();
        j.value("Name", c.decode(g->Name));
        j.value("Description", c.decode(g->Description));
        j.value("OutboundAddress", c.decode(g->OutboundAddress));
        j.value("KeyList", c.decode(g->KeyList));
        j.stringArray("Users", decodeAll(c, g->Users));
        j.value("ReadOnly", c.decode(g->ReadOnly));
        j.endObject();
    }
    j.endArray();
    j.endObject();
    ctx.out(j.bytes());
    return 0;
}

int runNormalize(CliContext &ctx)
{
    if (!ctx.args.isEmpty())
        return ctx.usageError(QStringLiteral("unexpected argument ") + ctx.args.first());
    Cli::ConfigEdit edit(ctx);
    QString error;
    if (!edit.load(&error) || !edit.save(&error))
        return ctx.fail(error);
    return 0;
}

const CliRegistration dumpReg{{"dump", "", "print the configuration as one JSON object", &runDump}};
const CliRegistration normalizeReg{{"normalize", "", "load and save the configuration without any change", &runNormalize}};

} // namespace
