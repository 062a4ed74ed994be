#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include "config/NameList.h"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

// The configuration file held in memory: sections and keys in file order, names matched
// without regard to letter case (ASCII), values trimmed of blanks at either end. Parsed
// once into one buffer that keeps the file's bytes: keys and values are positions in it,
// and a value handed out is a byte array sharing that buffer, so neither parsing nor
// reading makes a heap block per key or value. A section is found by a hash lookup, a
// key by a scan of its section. When a section or a key stands twice, the first one
// counts, as it does for the server's own profile reader.
//
// The store keeps a few integers a section and nothing a key: the parse ends every value
// with a NUL in the buffer, and a section's lines are read again from there when its keys
// are asked for (a file of 100,000 sections of 15 keys would otherwise keep 1.5 million
// positions while its items are read). Only a text that holds a NUL of its own, where
// that would not find the same lines again, keeps the positions of its keys.
class ConfigStore
{
public:
    ConfigStore() = default;

    // Parses the bytes of a file. Lines may end in CR LF, CR or LF. Linear in the size.
    // The store keeps the bytes (a copy of them when they are shared with another array).
    static ConfigStore fromBytes(const QByteArray &bytes);
    static ConfigStore fromBytes(QByteArray &&bytes);
    // The same, but the parse ends where the first section named `lastSection` ends: a
    // reader that needs that section alone (the server's) does not parse the items after it.
    // The sections before it are kept as well; without such a section the whole file is read.
    static ConfigStore fromBytesUntil(QByteArray &&bytes, QByteArrayView lastSection);

    // Reads a file. A file that does not exist reads as a file without sections; one that
    // exists but cannot be read gives nothing (the caller reports "Cannot open file").
    static std::optional<ConfigStore> fromFile(const QString &path);

    // Section names in file order, each name once (as first written).
    QByteArrayList sectionNames() const;

    // The value of a key as it stands (trimmed), or nothing when the key is absent.
    std::optional<QByteArray> value(QByteArrayView section, QByteArrayView key) const;

    QByteArray readString(QByteArrayView section, QByteArrayView key,
                          const QByteArray &defaultValue = {}) const;
    int readInteger(QByteArrayView section, QByteArrayView key, int defaultValue) const;
    bool readSwitch(QByteArrayView section, QByteArrayView key, bool defaultValue = false) const;
    QByteArray readBinary(QByteArrayView section, QByteArrayView key) const;
    QByteArrayList readList(QByteArrayView section, QByteArrayView key) const;

    // The sections by position (file order, each name once), for readers that walk them
    // all: no lookup by name, and values as views into the store's buffer.
    qsizetype sectionCount() const { return qsizetype(m_sections.size()); }
    QByteArrayView sectionName(qsizetype section) const;
    std::optional<QByteArrayView> view(qsizetype section, QByteArrayView key) const;
    // A view given by view() as a byte array sharing the store's buffer (no copy).
    QByteArray share(QByteArrayView value) const;

    // Frees the index of section names, for a reader that has looked up what it needed by
    // name and goes on by position: the memory is then free for what it builds. Lookups
    // by name still work, by scanning the sections.
    void releaseIndex() const { std::vector<qsizetype>().swap(m_index); }

    // The keys of a section in file order with their values (views into the store's
    // buffer), into `out` (cleared first): for a reader that looks up many keys of one
    // section, one pass over its lines.
    struct KeyValue
    {
        QByteArrayView key, value;
    };
    void keys(qsizetype section, std::vector<KeyValue> &out) const;
    // The first of `keys` named `key` (letter case aside), or nothing.
    static std::optional<QByteArrayView> find(const std::vector<KeyValue> &keys, QByteArrayView key);

    // A binary value (a view given by view() or keys()) decoded as ValueForms::decodeBinary
    // decodes it, written over its own digits and given as an array sharing the buffer:
    // the bytes take no room besides the file's. The value's digits are gone afterwards,
    // and its section's keys are not to be read again: this is for a reader that takes
    // each section once (the item reader).
    QByteArray decodeBinaryInPlace(QByteArrayView value);

private:
    // A key and its value in 16 bytes (there is one for every line of the file): the value
    // starts after the blanks, the "=" and the blanks that follow the key. A value of 4 GiB
    // or more has its size in m_longValues; a key that long is not kept (no name is).
    struct Entry
    {
        qsizetype key;
        quint32 keySize;
        quint32 valueSize;
    };
    static constexpr quint32 kLongValue = 0xffffffffu;
    struct Section
    {
        qsizetype name;
        qsizetype nameSize;
        // Where the keys are kept: its first entry (its entries end where the next
        // section's begin). Otherwise the end of its lines (the start of the next section
        // line, counted or not); they begin after its own section line.
        qsizetype mark;
    };
    QByteArray m_text;             // the file's bytes; a NUL follows every value and name
    bool m_keysKept = false;       // the text holds a NUL of its own
    std::vector<Entry> m_entries;  // with m_keysKept: the keys of every counted section, in file order
    std::vector<Section> m_sections;
    // Open addressing: position in m_sections, -1 for free. Empty once released: a lookup
    // by name then scans the sections.
    mutable std::vector<qsizetype> m_index;
    std::vector<std::pair<size_t, qsizetype>> m_longValues; // entry, size; in entry order

    void buildIndex();
    // Calls `visit(key, value)` for the keys of a section in file order until it returns false.
    template <typename Visit>
    void forEachKey(qsizetype section, Visit &&visit) const;
    static ConfigStore parse(QByteArray &&bytes, QByteArrayView lastSection);
    qsizetype find(QByteArrayView section) const;
    QByteArrayView valueOf(size_t entry) const;
    size_t entriesEnd(qsizetype section) const
    {
        return size_t(section) + 1 < m_sections.size() ? size_t(m_sections[size_t(section) + 1].mark) : m_entries.size();
    }
};

// Where ConfigStore::fromBytesUntil() of a file stops, found while its bytes arrive: the
// position of the first section line after the section asked for, so that a reader can
// keep the bytes before it and parse those alone, with the same result.
class SectionEndFinder
{
public:
    explicit SectionEndFinder(QByteArrayView lastSection) : m_section(lastSection.toByteArray()) {}

    // `bytes`: the file's bytes so far (a byte-order mark already dropped), each call the
    // bytes of the call before and more; `complete`: the whole file. The position where
    // the parse stops, or -1 while it is not known yet (and for a parse that reads to the
    // end).
    qsizetype scan(QByteArrayView bytes, bool complete);

private:
    QByteArray m_section;
    qsizetype m_next = 0; // the start of the first line not looked at yet
    bool m_inSection = false;
    bool m_done = false;
    qsizetype m_end = -1;
};

// Writes a configuration file from nothing: sections and keys in the order written,
// "Key=Value" without blanks, every line ended by CR LF. Values go straight into the
// buffer, without a temporary per line. A counting writer writes nothing and adds up the
// size instead: running the same writing through one first gives the size to reserve(),
// so that the real one fills a single buffer without growing it.
class ConfigWriter
{
public:
    ConfigWriter() = default;
    static ConfigWriter counter();

    void reserve(qsizetype size);
    // The bytes written, or counted by a counting writer.
    qsizetype size() const { return m_counting ? m_count : m_bytes.size(); }

    void beginSection(QByteArrayView name);
    void beginSection(QByteArrayView kindWord, int number); // "[POP3]"
    void writeString(QByteArrayView key, QByteArrayView value);
    void writeInteger(QByteArrayView key, int value);
    void writeSwitch(QByteArrayView key, bool on);
    void writeBinary(QByteArrayView key, QByteArrayView bytes);
    void writeList(QByteArrayView key, const NameList &names);

    const QByteArray &bytes() const { return m_bytes; }

private:
    // Room for a line of `valueSize` bytes after "key=": the position of the value, or
    // null for a counting writer. finishLine() ends it.
    char *beginLine(QByteArrayView key, qsizetype valueSize);
    void finishLine(char *value, qsizetype valueSize);

    QByteArray m_bytes;
    qsizetype m_count = 0;
    bool m_counting = false;
};

// Replaces a file atomically: the bytes go to a temporary file in the same folder, which
// is flushed and renamed over the old one. On failure the old file is untouched and the
// function returns false.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);
