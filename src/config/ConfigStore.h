#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

// The configuration file held in memory: sections and keys in file order, names matched
// without regard to letter case (ASCII), values trimmed of blanks at either end. Parsed
// once; every read is a hash lookup. When a section or a key stands twice, the first one
// counts, as it does for the server's own profile reader.
class ConfigStore
{
public:
    ConfigStore() = default;

    // Parses the bytes of a file. Lines may end in CR LF, CR or LF. Linear in the size.
    static ConfigStore fromBytes(const QByteArray &bytes);

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

private:
    // The standard hash of the bytes: Qt's seeded hash of QByteArray costs several times
    // more per key, and a large file has tens of thousands of keys.
    struct BytesHash
    {
        size_t operator()(const QByteArray &b) const
        {
            return std::hash<std::string_view>()(std::string_view(b.constData(), size_t(b.size())));
        }
    };
    struct Section
    {
        QByteArray name;
        std::unordered_map<QByteArray, QByteArray, BytesHash> values; // lower-case key -> value (first wins)
    };
    std::vector<Section> m_sections;
    std::unordered_map<QByteArray, size_t, BytesHash> m_index; // lower-case name -> position in m_sections

    const Section *find(QByteArrayView section) const;
};

// Writes a configuration file from nothing: sections and keys in the order written,
// "Key=Value" without blanks, every line ended by CR LF.
class ConfigWriter
{
public:
    void beginSection(QByteArrayView name);
    void writeString(QByteArrayView key, QByteArrayView value);
    void writeInteger(QByteArrayView key, int value);
    void writeSwitch(QByteArrayView key, bool on);
    void writeBinary(QByteArrayView key, QByteArrayView bytes);
    void writeList(QByteArrayView key, const QByteArrayList &names);

    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Replaces a file atomically: the bytes go to a temporary file in the same folder, which
// is flushed and renamed over the old one. On failure the old file is untouched and the
// function returns false.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);
