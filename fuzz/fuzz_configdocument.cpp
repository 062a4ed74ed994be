// Parses arbitrary bytes as a configuration file and checks the document's item reader,
// which works on the store's buffer and shares and pools its values, against the store's
// plain readers key by key.
#include "config/ConfigDocument.h"
#include "config/ConfigStore.h"
#include "config/TextCodec.h"
#include "config/ValueForms.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool same)
{
    if (!same)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ConfigStore store = ConfigStore::fromBytes(bytes);
    static const TextCodec codec;
    ConfigDocument doc;
    QString error;
    if (!doc.loadFromStore(store, codec, &error, QLocale::c()) || doc.oldFormat)
        return 0;
    size_t pop = 0, user = 0, group = 0;
    for (const QByteArray &name : store.sectionNames()) {
        const QByteArray upper = name.toUpper();
        if (upper.contains("POP")) {
            const TPop &p = *doc.pops.at(pop++);
            check(p.Host == store.readString(name, "Host"));
            check(p.Port == store.readInteger(name, "Port", 110));
            check(p.UserID == store.readString(name, "UserID"));
            check(p.Password == store.readBinary(name, "Password"));
            check(p.Newsgroups == store.readList(name, "Newsgroups"));
            check(p.DefaultGroup == store.readString(name, "DefaultGroup"));
            check(p.AutoReply == store.readString(name, "AutoReply", "N"));
            check(p.AutoReplyFrom == store.readString(name, "AutoReplyFrom"));
            check(p.AutoReplyBody == store.readBinary(name, "AutoReplyBody"));
            check(p.AutoReplySubject == store.readString(name, "AutoReplySubject"));
            check(p.AutoReplyFromIgnore == store.readString(name, "AutoReplyFromIgnore"));
            check(p.AssignOutboundID == store.readString(name, "AssignOutboundID", "N"));
            check(p.SafetyBox == store.readString(name, "SafetyBox"));
        }
        // A list kept as it stands must be exactly what writing its names gives.
        for (const char *key : {"Users", "Newsgroups"}) {
            const auto v = store.value(name, key);
            if (v && NameList::isWrittenForm(*v))
                check(ValueForms::encodeList(ValueForms::decodeList(*v)) == *v);
        }
        if (upper.contains("GROUP")) {
            const TGroup &g = *doc.groups.at(group++);
            check(g.Name == store.readString(name, "Name"));
            check(g.Description == store.readString(name, "Description"));
            check(g.OutboundAddress == store.readString(name, "OutboundAddress"));
            check(g.KeyList == store.readBinary(name, "KeyList"));
            check(g.Users == store.readList(name, "Users"));
            check(g.ReadOnly == store.readString(name, "ReadOnly", "N"));
        }
        if (upper.contains("USER")) {
            const TUser &u = *doc.users.at(user++);
            check(u.Name == store.readString(name, "Name"));
            check(u.Pass == store.readBinary(name, "Pass"));
            check(u.Description == store.readString(name, "Description"));
        }
    }
    check(pop == doc.pops.size() && group == doc.groups.size() && user == doc.users.size());
    // A store handed over decodes binary values in its own buffer: the same items.
    ConfigDocument handedOver;
    check(handedOver.loadFromStore(ConfigStore::fromBytes(bytes), codec, &error, QLocale::c()));
    check(handedOver.render() == doc.render());
    for (size_t i = 0; i < doc.pops.size(); ++i)
        check(handedOver.pops[i]->Password == doc.pops[i]->Password
              && handedOver.pops[i]->AutoReplyBody == doc.pops[i]->AutoReplyBody);
    return 0;
}
