#include "archive/MsgArchive.h"

#include "config/FolderFiles.h"
#include "config/TextLines.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <array>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace MsgArchive {

namespace {

const qint64 ZeroJulianDay = QDate(1899, 12, 30).toJulianDay();

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

bool isBlank(char c)
{
    return uchar(c) <= ' ';
}

QByteArrayView trimLeft(QByteArrayView s)
{
    qsizetype i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.sliced(i);
}

QByteArrayView trim(QByteArrayView s)
{
    s = trimLeft(s);
    qsizetype n = s.size();
    while (n > 0 && isBlank(s[n - 1]))
        --n;
    return s.first(n);
}

// Takes the text up to `delimiter` off the front of `s` and gives it; the delimiter goes
// too. Without a delimiter the whole text is taken.
QByteArrayView fetch(QByteArrayView &s, char delimiter)
{
    const qsizetype at = s.indexOf(delimiter);
    if (at < 0) {
        const QByteArrayView all = s;
        s = {};
        return all;
    }
    const QByteArrayView token = s.first(at);
    s = s.sliced(at + 1);
    return token;
}

// A whole number: an optional sign and decimal digits, nothing else; `fallback` otherwise
// (also when it would not fit an int).
int wholeNumber(QByteArrayView token, int fallback)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-')) {
        negative = token[i] == '-';
        ++i;
    }
    if (i == token.size())
        return fallback;
    qint64 value = 0;
    for (; i < token.size(); ++i) {
        const char c = token[i];
        if (c < '0' || c > '9')
            return fallback;
        value = value * 10 + (c - '0');
        if (value > qint64(std::numeric_limits<int>::max()) + 1)
            return fallback;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        return fallback;
    return int(value);
}

bool equalsUpper(QByteArrayView token, const char *name)
{
    if (token.size() != 3)
        return false;
    return upper(token[0]) == name[0] && upper(token[1]) == name[1] && upper(token[2]) == name[2];
}

// 1 to 12, or 0 when the token is no month name.
int monthNumber(QByteArrayView token)
{
    static const char *const names[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    for (int m = 0; m < 12; ++m) {
        if (equalsUpper(token, names[m]))
            return m + 1;
    }
    return 0;
}

bool startsWithDayName(QByteArrayView s)
{
    if (s.size() < 3)
        return false;
    static const char *const names[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    const QByteArrayView head = s.first(3);
    for (const char *name : names) {
        if (equalsUpper(head, name))
            return true;
    }
    return false;
}

// How often each entry key stands in the expired list, keys compared without regard to
// ASCII letter case. An open-addressing table of views into the overview lines: one flat
// array, so a lookup per index line costs about one cache miss.
class KeyCounts
{
public:
    explicit KeyCounts(qsizetype expectedKeys)
    {
        size_t capacity = 16;
        while (capacity < size_t(expectedKeys) * 2)
            capacity *= 2;
        m_slots.resize(capacity);
        m_mask = capacity - 1;
    }

    void add(QByteArrayView key)
    {
        const quint64 h = hash(key);
        for (size_t i = h & m_mask;; i = (i + 1) & m_mask) {
            Slot &slot = m_slots[i];
            if (slot.count == 0) {
                slot = {h, key, 1};
                ++m_used;
                return;
            }
            if (slot.hash == h && equal(slot.key, key)) {
                ++slot.count;
                return;
            }
        }
    }

    // The slot of `key`, or -1.
    qsizetype find(QByteArrayView key) const
    {
        if (m_used == 0)
            return -1;
        const quint64 h = hash(key);
        for (size_t i = h & m_mask;; i = (i + 1) & m_mask) {
            const Slot &slot = m_slots[i];
            if (slot.count == 0)
                return -1;
            if (slot.hash == h && equal(slot.key, key))
                return qsizetype(i);
        }
    }

    // The counts by slot, to be used up by one walk through a file.
    std::vector<qsizetype> counts() const
    {
        std::vector<qsizetype> out(m_slots.size());
        for (size_t i = 0; i < m_slots.size(); ++i)
            out[i] = m_slots[i].count;
        return out;
    }

private:
    struct Slot
    {
        quint64 hash = 0;
        QByteArrayView key;
        qsizetype count = 0; // 0: free
    };

    static quint64 hash(QByteArrayView key)
    {
        quint64 h = 1469598103934665603ull;
        for (const char c : key) {
            h ^= uchar(upper(c));
            h *= 1099511628211ull;
        }
        return h ^ (h >> 29);
    }

    static bool equal(QByteArrayView a, QByteArrayView b)
    {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            if (upper(a[i]) != upper(b[i]))
                return false;
        }
        return true;
    }

    std::vector<Slot> m_slots;
    size_t m_mask = 0;
    qsizetype m_used = 0;
};

struct IndexFile
{
    QString name;
    QByteArray bytes;
    struct stat status {};
    QList<QByteArrayView> lines;
    QByteArray rewritten;
    qsizetype removed = 0;
};

// Reads an index file whole from the group folder's descriptor: only a regular file is
// read (a FIFO would block the purge), and a link is not followed (the purge would
// rewrite the file it points to).
bool readIndex(const FolderFiles::Folder &folder, IndexFile &file, QString *error)
{
    const FolderFiles::Status status = FolderFiles::readRegular(folder, file.name, &file.bytes, &file.status);
    if (status == FolderFiles::Status::Link || status == FolderFiles::Status::NotRegular) {
        *error = FolderFiles::refusalText(folder.filePath(file.name), status);
        return false;
    }
    if (status != FolderFiles::Status::Ok) {
        *error = QStringLiteral("Cannot open file ") + folder.filePath(file.name);
        return false;
    }
    file.lines.reserve(file.bytes.count('\n') + 1);
    TextLines::forEachLine(file.bytes, [&file](QByteArrayView line) { file.lines.append(line); });
    return true;
}

// The names in the folder, "." and ".." aside.
QStringList folderEntries(const FolderFiles::Folder &folder)
{
    QStringList names;
    const int listFd = ::dup(folder.fd());
    DIR *list = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!list) {
        if (listFd >= 0)
            ::close(listFd);
        return names;
    }
    ::rewinddir(list);
    while (const dirent *entry = ::readdir(list)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(list);
    return names;
}

} // namespace

DateTime toDateTime(const QDate &date, int hour, int minute, int second)
{
    return (date.toJulianDay() - ZeroJulianDay) * SecondsPerDay + hour * 3600 + minute * 60 + second;
}

QDate dateOf(DateTime value)
{
    qint64 days = value / SecondsPerDay;
    if (value % SecondsPerDay < 0)
        --days;
    return QDate::fromJulianDay(days + ZeroJulianDay);
}

DateTime cutOffOlderThan(const QDate &today, qint64 days)
{
    return toDateTime(today) - days * SecondsPerDay;
}

DateTime cutOffBefore(const QDate &date)
{
    return toDateTime(date);
}

DateTime ParseInternetDate(QByteArrayView text)
{
    QByteArrayView s = trim(text);
    if (s.isEmpty())
        return 0;

    // A leading day name goes with everything up to the first space.
    if (startsWithDayName(s)) {
        fetch(s, ' ');
        s = trimLeft(s);
    }

    // "10-Jun-2003 10:20" is read with "-" between its parts, everything else with spaces.
    // A text without any space ("10-Jun-2003") has its dash before the end, so it is dashed
    // too: read with blanks it would be no date at all and purged at every cut-off.
    const qsizetype dash = s.indexOf('-');
    const qsizetype space = s.indexOf(' ');
    const char delimiter = (dash > 0 && (space < 0 || dash < space)) ? '-' : ' ';

    int month = 0;
    int day = 1;
    const qsizetype firstEnd = s.indexOf(delimiter);
    if (monthNumber(firstEnd < 0 ? s : s.first(firstEnd)) > 0) {
        month = monthNumber(fetch(s, delimiter));
        s = trimLeft(s);
        day = wholeNumber(fetch(s, delimiter), 1);
        s = trimLeft(s);
    } else {
        day = wholeNumber(fetch(s, delimiter), 1);
        s = trimLeft(s);
        month = monthNumber(fetch(s, delimiter));
        s = trimLeft(s);
    }

    int year = wholeNumber(fetch(s, ' '), 1900);
    s = trimLeft(s);
    if (year < 80)
        year += 2000;
    else if (year <= 99)
        year += 1900;

    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return 0;
    DateTime result = toDateTime(QDate(year, month, day));

    if (s.contains(':')) {
        QByteArrayView time = fetch(s, ' ');
        const int hour = wholeNumber(fetch(time, ':'), 0);
        const int minute = wholeNumber(fetch(time, ':'), 0);
        const int second = wholeNumber(time, 0);
        if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
            return 0;
        result += hour * 3600 + minute * 60 + second;
    }
    // What remains is the time zone, which is not applied.
    return result;
}

QByteArrayView entryKey(QByteArrayView line, bool *hasKey)
{
    const qsizetype at = line.indexOf('=');
    if (hasKey)
        *hasKey = at >= 0;
    return at < 0 ? QByteArrayView() : line.first(at);
}

QList<QByteArrayView> SelectExpired(const QList<QByteArrayView> &lines, DateTime cutOff)
{
    QList<QByteArrayView> keys;
    for (const QByteArrayView line : lines) {
        // Field 1 runs to the first TAB, field 2 to the next, field 3 to the one after or
        // the end; a line with fewer TABs has empty fields at its end.
        QByteArrayView date;
        const qsizetype tab1 = line.indexOf('\t');
        if (tab1 >= 0) {
            const QByteArrayView rest = line.sliced(tab1 + 1);
            const qsizetype tab2 = rest.indexOf('\t');
            if (tab2 >= 0) {
                date = rest.sliced(tab2 + 1);
                const qsizetype tab3 = date.indexOf('\t');
                if (tab3 >= 0)
                    date = date.first(tab3);
            }
        }
        if (ParseInternetDate(date) < cutOff)
            keys.append(entryKey(line));
    }
    return keys;
}

QByteArrayList SelectExpired(const QByteArrayList &lines, DateTime cutOff)
{
    const QList<QByteArrayView> views(lines.cbegin(), lines.cend());
    QByteArrayList keys;
    for (const QByteArrayView key : SelectExpired(views, cutOff))
        keys.append(key.toByteArray());
    return keys;
}

namespace {

// The number of an entry key's message file: the key as a whole number of at most ten
// digits (blanks around it ignored), or -1.
qint64 messageNumber(QByteArrayView key)
{
    key = trim(key);
    if (key.isEmpty())
        return -1;
    qint64 value = 0;
    for (const char c : key) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
        if (value > 9999999999LL)
            return -1;
    }
    return value;
}

QString messageFileName(qint64 number)
{
    return QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0'));
}

} // namespace

QString messageFileName(QByteArrayView key)
{
    const qint64 number = messageNumber(key);
    return number < 0 ? QString() : messageFileName(number);
}

PurgeResult PurgeGroup(const QString &folder, DateTime cutOff, const PurgeOptions &options)
{
    PurgeResult result;
    std::array<IndexFile, 3> files;
    files[0].name = QStringLiteral("xover.dat");
    files[1].name = QStringLiteral("msgid.dat");
    files[2].name = QStringLiteral("outbound.dat");

    // Every file is reached through the group folder's descriptor; the folder itself is
    // taken as its path gives it (a group kept on another disk through a link).
    FolderFiles::Folder group;
    if (!group.open(folder)) {
        result.error = QStringLiteral("Cannot open file ") + QDir(folder).filePath(files[0].name);
        return result;
    }

    // Everything is read before anything changes.
    for (IndexFile &file : files) {
        if (!readIndex(group, file, &result.error))
            return result;
    }

    // Each time a key stands in the expired list, every file loses its first remaining
    // line with that key. Per file that is the first n lines of the key, n being how often
    // the key is expired: counting the keys once and walking each file once gives exactly
    // that result in linear time. A line without "=" has no key and an empty key matches
    // nothing, so neither removes a line anywhere.
    const QList<QByteArrayView> expired = SelectExpired(files[0].lines, cutOff);
    KeyCounts expiredCount(expired.size());
    for (const QByteArrayView key : expired) {
        if (!key.isEmpty())
            expiredCount.add(key);
    }

    QList<QByteArrayView> removedXoverKeys;
    QList<QByteArrayView> keptXoverKeys;
    for (size_t f = 0; f < files.size(); ++f) {
        IndexFile &file = files[f];
        std::vector<qsizetype> left = expiredCount.counts();
        file.rewritten.reserve(file.bytes.size() + file.lines.size() + 2);
        for (const QByteArrayView line : file.lines) {
            bool hasKey = false;
            const QByteArrayView key = entryKey(line, &hasKey);
            if (hasKey && !key.isEmpty()) {
                const qsizetype slot = expiredCount.find(key);
                if (slot >= 0 && left[size_t(slot)] > 0) {
                    --left[size_t(slot)];
                    ++file.removed;
                    if (f == 0)
                        removedXoverKeys.append(key);
                    continue;
                }
            }
            if (f == 0 && hasKey)
                keptXoverKeys.append(key);
            file.rewritten.append(line.data(), line.size());
            file.rewritten.append("\r\n", 2);
        }
    }
    result.removedXover = files[0].removed;
    result.removedMsgid = files[1].removed;
    result.removedOutbound = files[2].removed;
    if (options.listKeys) {
        result.removedKeys.reserve(removedXoverKeys.size());
        for (const QByteArrayView key : removedXoverKeys)
            result.removedKeys.append(key.toByteArray());
    }

    // The message files of the removed entries, except a file that an entry staying in
    // xover.dat still names (a key listed twice, or written "42" and "042"): deleting it
    // would lose a message the index still lists.
    QSet<qint64> doomed;
    for (const QByteArrayView key : std::as_const(removedXoverKeys)) {
        if (const qint64 number = messageNumber(key); number >= 0)
            doomed.insert(number);
    }
    if (!doomed.isEmpty()) {
        for (const QByteArrayView key : std::as_const(keptXoverKeys))
            doomed.remove(messageNumber(key));
    }
    // They are looked at before anything changes: one that is a link, or no regular file,
    // stops the purge with nothing rewritten and nothing deleted. Listing the folder once
    // spares a failed system call for each entry whose message file is gone already.
    QStringList messageFiles;
    if (!doomed.isEmpty()) {
        for (const QString &name : folderEntries(group)) {
            if (name.size() != 10)
                continue;
            const qint64 number = messageNumber(name.toLatin1());
            if (number < 0 || !doomed.contains(number) || messageFileName(number) != name)
                continue;
            const FolderFiles::Status status = FolderFiles::inspect(group, name);
            if (status == FolderFiles::Status::Link || status == FolderFiles::Status::NotRegular) {
                result.error = FolderFiles::refusalText(group.filePath(name), status);
                return result;
            }
            if (status == FolderFiles::Status::Ok)
                messageFiles.append(name);
        }
    }

    if (!options.dryRun) {
        // All three new files are written first (each with its old file's owner and mode);
        // only then are they renamed in place, one after the other. A failure before the
        // renames (a full disk, a read-only file) changes nothing, so the indexes never
        // disagree.
        std::array<std::unique_ptr<FolderFiles::PendingFile>, 3> pending;
        for (size_t f = 0; f < files.size(); ++f) {
            pending[f] = std::make_unique<FolderFiles::PendingFile>(group, files[f].name, files[f].status);
            if (!pending[f]->open() || !pending[f]->write(files[f].rewritten) || !pending[f]->finish()) {
                result.error = QStringLiteral("Cannot create file ") + group.filePath(files[f].name);
                return result;
            }
            files[f].rewritten.clear();
        }
        for (size_t f = 0; f < files.size(); ++f) {
            if (!pending[f]->commit()) {
                result.error = QStringLiteral("Cannot create file ") + group.filePath(files[f].name);
                return result;
            }
        }
        // Each message file is opened again, without following a link, right before it goes:
        // one swapped for anything but a regular file since the look stays.
        for (const QString &name : std::as_const(messageFiles)) {
            if (FolderFiles::removeRegular(group, name) == FolderFiles::Status::Ok)
                ++result.messageFilesRemoved;
        }
    } else {
        result.messageFilesRemoved = messageFiles.size();
    }
    result.ok = true;
    return result;
}

} // namespace MsgArchive
