#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDate>
#include <QList>
#include <QString>

// Purging a group's old messages from the server's index files.
//
// A group folder holds three index files, xover.dat, msgid.dat and outbound.dat, one
// key=value line per message; the entry key (the text before the first "=", compared
// without regard to ASCII letter case) ties the lines of one message together across the
// files. The third TAB-separated field of an xover.dat line is the message's date.
//
// Stored message files: the server keeps each message in a file of the group folder named
// by its entry key as a ten-digit, zero-padded number (key 42 is 0000000042). For every
// xover.dat entry the purge removes, it deletes that file too; a key that is not a whole
// number of at most ten digits, or a file that does not exist, is passed over silently, and
// so is a file that an entry staying in xover.dat still names (a key listed twice, or the
// same number written "42" and "042").
// The files are deleted only after all three index files were written, so a failed write
// never leaves an index line whose message is gone.
//
// Links: every index file and message file is reached through the group folder's
// descriptor without following a link (FolderFiles). An index file, or a message file the
// purge would delete, that is a symbolic link or no regular file stops the purge before
// anything is rewritten or deleted ("<path> is a symbolic link, which is not followed",
// "<path> is not a regular file"). The group folder itself is taken as its path gives it.
namespace MsgArchive {

// A local wall-clock date-time, time zone not applied, as whole seconds since
// 30 December 1899 00:00 (the zero date-time an unreadable date gives). Whole seconds keep
// every comparison with a cut-off exact.
using DateTime = qint64;

constexpr qint64 SecondsPerDay = 86400;

// `date` at hh:mm:ss. `date` must be valid.
DateTime toDateTime(const QDate &date, int hour = 0, int minute = 0, int second = 0);
QDate dateOf(DateTime value);

// The cut-off of "older than `days` days": today at 00:00 minus the days (a negative count
// gives a cut-off in the future). Any int count is fine.
DateTime cutOffOlderThan(const QDate &today, qint64 days);
// The cut-off of "before `date`": that date at 00:00.
DateTime cutOffBefore(const QDate &date);

// Lenient reading of an e-mail date ("Tue, 10 Jun 2003 10:20:30 +0200", "10-Jun-2003
// 10:20", "Jun 10 2003", two-digit years): the date and time as written, the time zone
// ignored; 0 for an empty or unreadable text.
DateTime ParseInternetDate(QByteArrayView text);

// The entry key of an index line: the text before its first "="; `hasKey` false (and an
// empty view) for a line without "=".
QByteArrayView entryKey(QByteArrayView line, bool *hasKey = nullptr);

// The entry keys of the overview lines dated strictly before `cutOff`, in file order (an
// empty key for a line without "="). The keys are views into `lines`.
QList<QByteArrayView> SelectExpired(const QList<QByteArrayView> &lines, DateTime cutOff);
QByteArrayList SelectExpired(const QByteArrayList &lines, DateTime cutOff);

struct PurgeOptions
{
    bool dryRun = false;   // work everything out, change nothing
    bool listKeys = false; // fill PurgeResult::removedKeys
};

struct PurgeResult
{
    bool ok = false;
    QString error; // "Cannot open file <path>", "Cannot create file <path>" or a refused link or non-file
    qsizetype removedXover = 0;
    qsizetype removedMsgid = 0;
    qsizetype removedOutbound = 0;
    qsizetype messageFilesRemoved = 0;    // (dry run: that would be removed)
    QByteArrayList removedKeys;           // keys of the removed xover.dat lines, in order
};

// Purges the three index files of `folder` of every message dated strictly before
// `cutOff`. All three files are read before anything changes; a file that cannot be read
// stops the purge with nothing changed. Each file is then replaced atomically, in the order
// xover.dat, msgid.dat, outbound.dat: a file that cannot be written keeps its old content,
// as do the ones after it. Linear in the size of the files.
PurgeResult PurgeGroup(const QString &folder, DateTime cutOff, const PurgeOptions &options = {});

// The stored message file of an entry key, or an empty text when the key is not a whole
// number of at most ten digits.
QString messageFileName(QByteArrayView key);

} // namespace MsgArchive
