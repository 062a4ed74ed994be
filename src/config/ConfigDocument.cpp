#include "config/ConfigDocument.h"

#include "config/AppIdentity.h"
#include "config/ByteArena.h"
#include "config/ConfigBytes.h"
#include "config/History.h"
#include "config/PasswordDigest.h"
#include "config/Sha256.h"
#include "config/TextCodec.h"
#include "config/TextLines.h"
#include "config/ValueForms.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <functional>

namespace {

constexpr char kServer[] = "SERVER";

int clamp(int value, int low, int high)
{
    return std::clamp(value, low, high);
}

// Whether a section name, in upper case, holds a kind word (upper-case ASCII).
bool holdsKindWord(QByteArrayView section, QByteArrayView kindWord)
{
    const qsizetype n = kindWord.size();
    for (qsizetype i = 0; i + n <= section.size(); ++i) {
        qsizetype k = 0;
        while (k < n) {
            char c = section[i + k];
            if (c >= 'a' && c <= 'z')
                c = char(c - 'a' + 'A');
            if (c != kindWord[k])
                break;
            ++k;
        }
        if (k == n)
            return true;
    }
    return false;
}

// The text of a file named by an old-format key, each line followed by CR LF; empty when
// the file does not exist or may not be read (LinkedFiles says which).
QByteArray readOldFormatFile(LinkedFiles *linked, const QByteArray &section, const char *key, const QByteArray &path)
{
    if (path.isEmpty())
        return {};
    LinkedFiles none;
    return (linked ? *linked : none).read(path, QString::fromLatin1(section + ' ' + key));
}

} // namespace

ServerSettings ConfigDocument::readServerSettings(const ConfigStore &store)
{
    ServerSettings s;
    const ServerSettings d; // defaults
    s.Port = clamp(store.readInteger(kServer, "Port", d.Port), 0, ServerSettings::PortMax);
    s.Name = store.readString(kServer, "Name");
    s.Version = store.readString(kServer, "Version", d.Version);
    s.SMTPHost = store.readString(kServer, "SMTPHost");
    s.OutboundPrefix = store.readString(kServer, "OutboundPrefix", d.OutboundPrefix);
    s.OutboundMarker = store.readString(kServer, "OutboundMarker", d.OutboundMarker);
    s.BindIP = store.readString(kServer, "BindIP");
    s.AdminEmail = store.readString(kServer, "AdminEmail");
    s.AdminEmailActive = store.readSwitch(kServer, "AdminEmailActive");
    s.SMTPUserID = store.readString(kServer, "SMTPUserID");
    s.SMTPUserPass = store.readBinary(kServer, "SMTPUserPass");
    s.AdminUser = store.readString(kServer, "AdminUser");
    s.AdminPass = store.readBinary(kServer, "AdminPass");
    s.SMTPPort = clamp(store.readInteger(kServer, "SMTPPort", d.SMTPPort), 0, ServerSettings::PortMax);
    s.LogSize = clamp(store.readInteger(kServer, "LogSize", d.LogSize), 0, ServerSettings::LogSizeMax);
    // A value above 1 selects "Activate", one below 0 selects neither.
    s.Log = clamp(store.readInteger(kServer, "Log", d.Log), -1, 1);
    s.ConfigPort = clamp(store.readInteger(kServer, "ConfigPort", d.ConfigPort), 0, ServerSettings::PortMax);
    // "Never overwrite" sets the size to 0; a size other than 0 means "Overwrite when file
    // reaches ", so the two always agree after loading.
    return s;
}

bool ConfigDocument::isOldFormat(const QByteArray &version, const QLocale &locale, bool *ok)
{
    QString text = QString::fromLatin1(version);
    const qsizetype dot = text.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        text.replace(dot, 1, locale.decimalPoint());
    QLocale reader = locale;
    reader.setNumberOptions(QLocale::RejectGroupSeparator);
    bool parsed = false;
    const double number = reader.toDouble(text, &parsed);
    parsed = parsed && std::isfinite(number);
    if (ok)
        *ok = parsed;
    return parsed && number < 1.05;
}

namespace {

// Reads the item sections of one store. Values are the store's bytes shared, not copied;
// decoded binary values share the blocks of one arena. A list as the editor writes it is
// kept as its value; the names of any other are stored once in a pool, however many lists
// name them.
class ItemReader
{
public:
    // With `writable` (the same store), binary values are decoded in the store's buffer.
    ItemReader(const ConfigStore &store, ConfigStore *writable, bool oldFormat, LinkedFiles *linked)
        : m_store(store), m_writable(writable), m_oldFormat(oldFormat), m_linked(linked), m_names(m_arena)
    {
    }

    std::unique_ptr<TPop> pop(qsizetype section);
    std::unique_ptr<TGroup> group(qsizetype section);
    std::unique_ptr<TUser> user(qsizetype section);

private:
    // The keys of a section are read once, before its values are looked up.
    std::optional<QByteArrayView> view(qsizetype section, QByteArrayView key)
    {
        if (section != m_keysOf) {
            m_store.keys(section, m_keys);
            m_keysOf = section;
        }
        return ConfigStore::find(m_keys, key);
    }
    QByteArray text(qsizetype section, QByteArrayView key, const QByteArray &defaultValue = {})
    {
        const auto v = view(section, key);
        return v ? m_store.share(*v) : defaultValue;
    }
    int integer(qsizetype section, QByteArrayView key, int defaultValue)
    {
        const auto v = view(section, key);
        return v ? ValueForms::parseInteger(*v).value_or(defaultValue) : defaultValue;
    }
    QByteArray binary(qsizetype section, QByteArrayView key);
    NameList list(qsizetype section, QByteArrayView key);

    QByteArray sectionName(qsizetype section) const { return m_store.sectionName(section).toByteArray(); }

    const ConfigStore &m_store;
    ConfigStore *const m_writable;
    const bool m_oldFormat;
    LinkedFiles *m_linked; // reads the files an old-format file names
    ByteArena m_arena;
    NamePool m_names;
    QByteArray m_scratch;
    std::vector<QByteArray> m_gathered;
    std::vector<ConfigStore::KeyValue> m_keys;
    qsizetype m_keysOf = -1;
};


const QByteArray &flagOff()
{
    static const QByteArray no("N");
    return no;
}

QByteArray ItemReader::binary(qsizetype section, QByteArrayView key)
{
    const auto v = view(section, key);
    if (!v || v->size() < 2)
        return {};
    if (m_writable)
        return m_writable->decodeBinaryInPlace(*v);
    // As ValueForms::decodeBinary: pairs of either case, up to the first bad pair.
    char *out = m_arena.reserve(v->size() / 2);
    qsizetype n = 0;
    for (qsizetype i = 0; i + 1 < v->size(); i += 2) {
        const int hi = ValueForms::hexDigit((*v)[i]);
        const int lo = ValueForms::hexDigit((*v)[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        out[n++] = char(hi * 16 + lo);
    }
    return m_arena.commit(n);
}

NameList ItemReader::list(qsizetype section, QByteArrayView key)
{
    const auto v = view(section, key);
    if (!v || v->isEmpty())
        return {};
    // A list as the editor writes it is kept as it stands in the file; another is read
    // into names, each stored once.
    if (NameList::isWrittenForm(*v))
        return NameList::fromWrittenForm(m_store.share(*v));
    // Gathered first, so that the list is made at its exact size.
    m_gathered.clear();
    ValueForms::forEachListName(*v, m_scratch, [this](QByteArrayView name) { m_gathered.push_back(m_names.intern(name)); });
    return QByteArrayList(std::make_move_iterator(m_gathered.begin()), std::make_move_iterator(m_gathered.end()));
}

std::unique_ptr<TPop> ItemReader::pop(qsizetype section)
{
    auto pop = std::make_unique<TPop>();
    pop->Host = text(section, "Host");
    pop->Port = integer(section, "Port", 110);
    pop->UserID = text(section, "UserID");
    pop->Password = binary(section, "Password");
    pop->Newsgroups = list(section, "Newsgroups");
    pop->DefaultGroup = text(section, "DefaultGroup");
    pop->AutoReply = text(section, "AutoReply", flagOff());
    pop->AutoReplyFrom = text(section, "AutoReplyFrom");
    // Old-format accounts keep their plain mailbox password: the server needs it to log
    // into the mailbox, and a digest of it would be of no use there.
    if (m_oldFormat)
        pop->AutoReplyBody = readOldFormatFile(m_linked, sectionName(section), "AutoReplyFile",
                                               text(section, "AutoReplyFile"));
    else
        pop->AutoReplyBody = binary(section, "AutoReplyBody");
    pop->AutoReplySubject = text(section, "AutoReplySubject");
    pop->AutoReplyFromIgnore = text(section, "AutoReplyFromIgnore");
    pop->AssignOutboundID = text(section, "AssignOutboundID", flagOff());
    pop->SafetyBox = text(section, "SafetyBox");
    return pop;
}

std::unique_ptr<TGroup> ItemReader::group(qsizetype section)
{
    auto group = std::make_unique<TGroup>();
    group->Name = text(section, "Name");
    group->Description = text(section, "Description");
    group->OutboundAddress = text(section, "OutboundAddress");
    if (m_oldFormat)
        group->KeyList =
            readOldFormatFile(m_linked, sectionName(section), "KeyListFile", text(section, "KeyListFile"));
    else
        group->KeyList = binary(section, "KeyList");
    group->Users = list(section, "Users");
    group->ReadOnly = text(section, "ReadOnly", flagOff());
    return group;
}

std::unique_ptr<TUser> ItemReader::user(qsizetype section)
{
    auto user = std::make_unique<TUser>();
    user->Name = text(section, "Name");
    user->Pass = binary(section, "Pass");
    user->Description = text(section, "Description");
    if (m_oldFormat)
        user->Pass = PasswordDigest(user->Pass);
    return user;
}

} // namespace

bool ConfigDocument::load(const QString &path, const TextCodec &codec, QString *error,
                          const QLocale &locale)
{
    QByteArray bytes;
    fingerprint = SafeFile::Fingerprint();
    // A reader of the server settings alone that keeps no fingerprint or hash of the file
    // reads it through a small buffer and keeps only the bytes up to the end of the SERVER
    // section; every byte still passes the check of being a configuration, so it is refused
    // exactly as a whole load refuses it.
    const bool headOnly = loadParts == NoItems && !takeFingerprint && !keepSha256;
    ConfigBytes::Scanner scanner;
    SectionEndFinder serverEnd(kServer);
    qsizetype headEnd = -1;
    const auto keepHead = [&](QByteArrayView piece) {
        scanner.add(piece);
        if (headEnd >= 0)
            return;
        bytes.append(piece);
        // The parse starts after a byte-order mark, so the search does too.
        if (bytes.size() >= 3) {
            const qsizetype mark = bytes.startsWith("\xEF\xBB\xBF") ? 3 : 0;
            const qsizetype end = serverEnd.scan(QByteArrayView(bytes).sliced(mark), false);
            if (end >= 0)
                headEnd = mark + end;
        }
    };
    const SafeFile::ReadStatus status = headOnly ? SafeFile::readRegularPieces(path, keepHead)
                                                 : SafeFile::readRegular(path, &bytes, takeFingerprint ? &fingerprint : nullptr);
    switch (status) {
    case SafeFile::ReadStatus::Ok:
    case SafeFile::ReadStatus::Missing:
        break;
    case SafeFile::ReadStatus::NotRegular:
        if (error)
            *error = SafeFile::notRegularText(path);
        return false;
    case SafeFile::ReadStatus::Failed:
        if (error)
            *error = QStringLiteral("Cannot open file ") + SafeFile::displayPath(path);
        return false;
    }
    if (keepSha256)
        sha256 = Sha256::hex(bytes);
    if (headOnly && status == SafeFile::ReadStatus::Ok) {
        if (!scanner.isConfiguration()) {
            if (error)
                *error = ConfigBytes::notConfigurationText(path);
            return false;
        }
        if (headEnd >= 0)
            bytes.truncate(headEnd);
    }
    if (!ConfigBytes::prepare(bytes, path, error))
        return false;
    linkedFiles = LinkedFiles(linkedFileMode, linkedFolder.isEmpty() ? QFileInfo(path).absolutePath() : linkedFolder,
                              linkedFolder.isEmpty() ? path : linkedConfiguration);
    return loadFromStore(loadParts == NoItems ? ConfigStore::fromBytesUntil(std::move(bytes), kServer)
                                              : ConfigStore::fromBytes(std::move(bytes)),
                         codec, error, locale);
}

bool ConfigDocument::loadFromStore(const ConfigStore &store, const TextCodec &codec, QString *error,
                                   const QLocale &locale)
{
    return loadItems(store, nullptr, codec, error, locale);
}

bool ConfigDocument::loadFromStore(ConfigStore &&store, const TextCodec &codec, QString *error,
                                   const QLocale &locale)
{
    return loadItems(store, &store, codec, error, locale);
}

bool ConfigDocument::loadItems(const ConfigStore &store, ConfigStore *writable, const TextCodec &codec,
                               QString *error, const QLocale &locale)
{
    server = readServerSettings(store);
    pops.clear();
    users.clear();
    groups.clear();

    bool ok = false;
    oldFormat = isOldFormat(server.Version, locale, &ok);
    if (!ok) {
        if (error)
            *error = QStringLiteral("'%1' is not a valid floating point value").arg(codec.decode(server.Version));
        return false;
    }
    if (oldFormat)
        server.AdminPass = PasswordDigest(server.AdminPass);

    // The items are read by position: the index of names makes room for them.
    store.releaseIndex();
    ItemReader reader(store, writable, oldFormat, &linkedFiles);
    const qsizetype count = store.sectionCount();
    for (qsizetype i = 0; (loadParts & PopItems) && i < count; ++i) {
        if (holdsKindWord(store.sectionName(i), TPop::KindWord))
            pops.push_back(reader.pop(i));
    }
    for (qsizetype i = 0; (loadParts & GroupItems) && i < count; ++i) {
        if (holdsKindWord(store.sectionName(i), TGroup::KindWord))
            groups.push_back(reader.group(i));
    }
    for (qsizetype i = 0; (loadParts & UserItems) && i < count; ++i) {
        if (holdsKindWord(store.sectionName(i), TUser::KindWord))
            users.push_back(reader.user(i));
    }
    return true;
}

namespace {

// `piece`, when given, is offered the writer after every section: a save that writes the
// file as it renders it takes what is there once it is large enough.
void writeDocument(ConfigWriter &w, const ServerSettings &s, const QList<const TPop *> &pops,
                   const QList<const TUser *> &users, const QList<const TGroup *> &groups,
                   const std::function<void(ConfigWriter &)> &piece = {})
{
    w.beginSection(kServer);
    w.writeInteger("Port", s.Port);
    w.writeString("Name", s.Name);
    w.writeString("Version", AppIdentity::AppVersion);
    w.writeString("SMTPHost", s.SMTPHost);
    w.writeString("OutboundPrefix", s.OutboundPrefix);
    w.writeString("OutboundMarker", s.OutboundMarker);
    w.writeString("BindIP", s.BindIP);
    w.writeString("AdminEmail", s.AdminEmail);
    w.writeSwitch("AdminEmailActive", s.AdminEmailActive);
    w.writeString("SMTPUserID", s.SMTPUserID);
    w.writeBinary("SMTPUserPass", s.SMTPUserPass);
    w.writeInteger("SMTPPort", s.SMTPPort);
    w.writeInteger("LogSize", s.LogSize);
    w.writeInteger("Log", s.Log);
    w.writeString("AdminUser", s.AdminUser);
    w.writeBinary("AdminPass", s.AdminPass);
    w.writeInteger("ConfigPort", s.ConfigPort);
    w.writeInteger("Pops", int(pops.size()));
    w.writeInteger("Users", int(users.size()));
    w.writeInteger("Groups", int(groups.size()));
    if (piece)
        piece(w);

    int n = 0;
    for (const TPop *p : pops) {
        if (piece)
            piece(w);
        w.beginSection(TPop::KindWord, ++n);
        w.writeString("Host", p->Host);
        w.writeInteger("Port", p->Port);
        w.writeString("UserID", p->UserID);
        w.writeBinary("Password", p->Password);
        w.writeList("Newsgroups", p->Newsgroups);
        w.writeString("DefaultGroup", p->DefaultGroup);
        w.writeString("AutoReply", p->AutoReply);
        w.writeString("AutoReplyFrom", p->AutoReplyFrom);
        w.writeBinary("AutoReplyBody", p->AutoReplyBody);
        w.writeString("AutoReplySubject", p->AutoReplySubject);
        w.writeString("AutoReplyFromIgnore", p->AutoReplyFromIgnore);
        w.writeString("AssignOutboundID", p->AssignOutboundID);
        w.writeString("SafetyBox", p->SafetyBox);
    }
    n = 0;
    for (const TUser *u : users) {
        if (piece)
            piece(w);
        w.beginSection(TUser::KindWord, ++n);
        w.writeString("Name", u->Name);
        w.writeBinary("Pass", u->Pass);
        w.writeString("Description", u->Description);
    }
    n = 0;
    for (const TGroup *g : groups) {
        if (piece)
            piece(w);
        w.beginSection(TGroup::KindWord, ++n);
        w.writeString("Name", g->Name);
        w.writeString("Description", g->Description);
        w.writeString("OutboundAddress", g->OutboundAddress);
        w.writeBinary("KeyList", g->KeyList);
        w.writeList("Users", g->Users);
        w.writeString("ReadOnly", g->ReadOnly);
    }
    }

} // namespace

QByteArray ConfigDocument::render(const ServerSettings &s, const QList<const TPop *> &pops,
                                  const QList<const TUser *> &users, const QList<const TGroup *> &groups)
{
    // Once to count the bytes, once to write them into a buffer of that size.
    ConfigWriter counter = ConfigWriter::counter();
    writeDocument(counter, s, pops, users, groups);
    ConfigWriter w;
    w.reserve(counter.size());
    writeDocument(w, s, pops, users, groups);
    Q_ASSERT(w.size() == counter.size());
    return w.bytes();
}

QByteArray ConfigDocument::render() const
{
    return render(server, itemViews(pops), itemViews(users), itemViews(groups));
}

QString ConfigDocument::backupLostText(const QString &path)
{
    return QStringLiteral("The previous configuration could not be kept as %1; the new one was saved all the same.")
        .arg(SafeFile::displayPath(SafeFile::backupPath(path)));
}

namespace {

// What a save writes: bytes rendered before, or a document rendered as it is written.
struct SaveContent
{
    const QByteArray *bytes = nullptr;
    const ConfigDocument *doc = nullptr;
};

// The size of the pieces a document is written in: large enough for few system calls,
// small enough that the one buffer they pass through stays the same memory from piece to
// piece (a buffer of the file's size costs a page fault for each of its pages, more than
// the rendering itself).
constexpr qsizetype kPiece = 256 * 1024;

// Renders the document into `file` piece by piece; the whole file is never held. `size`:
// the bytes written.
bool writeRendered(SafeFile::PendingFile &file, const ConfigDocument &doc, qint64 *size)
{
    bool ok = true;
    qint64 written = 0;
    const auto flush = [&](ConfigWriter &w) {
        if (w.size() == 0)
            return;
        ok = file.write(w.bytes()) && ok;
        written += w.size();
        // A new writer of the same size: the memory just freed is what it gets again.
        w = ConfigWriter();
        w.reserve(kPiece + kPiece / 4);
    };
    ConfigWriter w;
    w.reserve(kPiece + kPiece / 4);
    writeDocument(w, doc.server, itemViews(doc.pops), itemViews(doc.users), itemViews(doc.groups),
                  [&](ConfigWriter &out) {
                      if (out.size() >= kPiece)
                          flush(out);
                  });
    flush(w);
    *size = written;
    return ok;
}

// The one writer of the configuration: with `expected`, only over the file it describes,
// and then `written` (when given) describes the new file.
bool saveConfiguration(const QString &path, const SaveContent &content, const SafeFile::Fingerprint *expected,
                       QString *error, QString *warning, SafeFile::Fingerprint *written = nullptr)
{
    const auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    const QString unable = QStringLiteral("Unable to write to ") + SafeFile::displayPath(path);
    // A change made before the save began mostly shows in the file's size or time: then
    // nothing is written. Whatever this look finds, the last one, right before the new file
    // takes the old one's place, reads the file.
    if (expected && SafeFile::differsAtAGlance(path, *expected))
        return fail(ConfigDocument::changedOnDiskText());
    const bool history = History::enabled();
    SafeFile::PendingFile file(path);
    // The last look then also tells whether the file held these very bytes: the history
    // needs no copy of what it replaced, nor the new fingerprint a hash of its own.
    file.setCompareReplaced(expected && (history || !content.bytes));
    History::SavedVersion saved;
    if (!file.open())
        return fail(unable);
    bool ok = true;
    if (content.bytes) {
        saved.bytes = *content.bytes;
        saved.size = content.bytes->size();
        ok = file.write(*content.bytes);
    } else {
        ok = writeRendered(file, *content.doc, &saved.size);
    }
    if (!ok || !file.finish())
        return fail(unable);
    const SafeFile::PendingFile::Commit done =
        expected ? file.commitIfUnchanged(*expected, true)
                 : (file.commit(true) ? SafeFile::PendingFile::Commit::Done : SafeFile::PendingFile::Commit::Failed);
    if (done == SafeFile::PendingFile::Commit::Changed)
        return fail(ConfigDocument::changedOnDiskText());
    if (done == SafeFile::PendingFile::Commit::Failed)
        return fail(unable);
    if (file.backupLost() && warning)
        *warning = ConfigDocument::backupLostText(path);
    // The file is in place: its version joins the history (which never fails the save).
    saved.written = file.writtenIdentity();
    saved.backupKept = !file.backupLost();
    saved.replacedSame = file.replacedSame();
    saved.replaced = file.replacedIdentity();
    History::record(path, saved);
    if (written) {
        if (content.bytes)
            *written = SafeFile::fingerprintOfWritten(path, *content.bytes);
        else if (expected && file.replacedSame())
            *written = SafeFile::fingerprintOfWrittenSame(path, *expected);
        else
            *written = SafeFile::fingerprintOf(path);
    }
    return true;
}

} // namespace

bool ConfigDocument::saveBytes(const QString &path, const QByteArray &bytes, QString *error, QString *warning)
{
    return saveConfiguration(path, SaveContent{&bytes, nullptr}, nullptr, error, warning);
}

bool ConfigDocument::changedOnDisk(const QString &path, const SafeFile::Fingerprint &fingerprint)
{
    return !SafeFile::unchangedSince(path, fingerprint);
}

bool ConfigDocument::saveBytesChecked(const QString &path, const QByteArray &bytes, SafeFile::Fingerprint &fingerprint,
                                      QString *error, QString *warning)
{
    SafeFile::Fingerprint written;
    if (!saveConfiguration(path, SaveContent{&bytes, nullptr}, &fingerprint, error, warning, &written))
        return false;
    fingerprint = written;
    return true;
}

bool ConfigDocument::saveChecked(const QString &path, SafeFile::Fingerprint &fingerprint, QString *error,
                                 QString *warning) const
{
    SafeFile::Fingerprint written;
    if (!saveConfiguration(path, SaveContent{nullptr, this}, &fingerprint, error, warning, &written))
        return false;
    fingerprint = written;
    return true;
}

bool ConfigDocument::save(const QString &path, QString *error) const
{
    // Unchecked, nothing tells whether the file held these bytes already: the history is
    // given them whole rather than reading the new file back.
    return saveBytes(path, render(), error);
}
