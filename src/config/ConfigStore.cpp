#include "config/ConfigStore.h"

#include "config/TextLines.h"
#include "config/ValueForms.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype b = 0;
    qsizetype e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

QByteArray lowered(QByteArrayView v)
{
    QByteArray out = v.toByteArray();
    for (char &c : out) {
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    return out;
}

} // namespace

ConfigStore ConfigStore::fromBytes(const QByteArray &bytes)
{
    ConfigStore store;
    Section *current = nullptr; // null before the first section and inside a repeated one
    TextLines::forEachLine(bytes, [&](QByteArrayView rawLine) {
        const QByteArrayView line = trimmed(rawLine);
        if (line.startsWith('[')) {
            const qsizetype close = line.indexOf(']');
            if (close > 0) {
                const QByteArrayView name = trimmed(line.sliced(1, close - 1));
                if (store.m_index.emplace(lowered(name), store.m_sections.size()).second) {
                    store.m_sections.push_back(Section{name.toByteArray(), {}});
                    current = &store.m_sections.back();
                } else {
                    current = nullptr;
                }
                return;
            }
        }
        if (!current)
            return;
        const qsizetype eq = line.indexOf('=');
        if (eq < 0)
            return;
        QByteArray key = lowered(trimmed(line.first(eq)));
        if (current->values.find(key) == current->values.end())
            current->values.emplace(std::move(key), trimmed(line.sliced(eq + 1)).toByteArray());
    });
    return store;
}

std::optional<ConfigStore> ConfigStore::fromFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return ConfigStore();
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return fromBytes(file.readAll());
}

QByteArrayList ConfigStore::sectionNames() const
{
    QByteArrayList names;
    names.reserve(qsizetype(m_sections.size()));
    for (const Section &s : m_sections)
        names.append(s.name);
    return names;
}

const ConfigStore::Section *ConfigStore::find(QByteArrayView section) const
{
    const auto it = m_index.find(lowered(section));
    return it == m_index.end() ? nullptr : &m_sections[it->second];
}

std::optional<QByteArray> ConfigStore::value(QByteArrayView section, QByteArrayView key) const
{
    const Section *s = find(section);
    if (!s)
        return std::nullopt;
    const auto it = s->values.find(lowered(key));
    if (it == s->values.end())
        return std::nullopt;
    return it->second;
}

QByteArray ConfigStore::readString(QByteArrayView section, QByteArrayView key,
                                   const QByteArray &defaultValue) const
{
    return value(section, key).value_or(defaultValue);
}

int ConfigStore::readInteger(QByteArrayView section, QByteArrayView key, int defaultValue) const
{
    const auto v = value(section, key);
    if (!v)
        return defaultValue;
    return ValueForms::parseInteger(*v).value_or(defaultValue);
}

bool ConfigStore::readSwitch(QByteArrayView section, QByteArrayView key, bool defaultValue) const
{
    return readInteger(section, key, defaultValue ? 1 : 0) == 1;
}

QByteArray ConfigStore::readBinary(QByteArrayView section, QByteArrayView key) const
{
    const auto v = value(section, key);
    return v ? ValueForms::decodeBinary(*v) : QByteArray();
}

QByteArrayList ConfigStore::readList(QByteArrayView section, QByteArrayView key) const
{
    const auto v = value(section, key);
    return v ? ValueForms::decodeList(*v) : QByteArrayList();
}

void ConfigWriter::beginSection(QByteArrayView name)
{
    m_bytes.append('[');
    m_bytes.append(name.data(), name.size());
    m_bytes.append("]\r\n", 3);
}

void ConfigWriter::writeString(QByteArrayView key, QByteArrayView value)
{
    m_bytes.append(key.data(), key.size());
    m_bytes.append('=');
    // A line break pasted into a text field would end the value and start a line of its
    // own (a key or a section of the file's reader's choosing): it is written as a blank.
    if (value.indexOf('\r') < 0 && value.indexOf('\n') < 0) {
        m_bytes.append(value.data(), value.size());
    } else {
        QByteArray flat(value.data(), value.size());
        flat.replace('\r', ' ').replace('\n', ' ');
        m_bytes.append(flat);
    }
    m_bytes.append("\r\n", 2);
}

void ConfigWriter::writeInteger(QByteArrayView key, int value)
{
    writeString(key, ValueForms::writeInteger(value));
}

void ConfigWriter::writeSwitch(QByteArrayView key, bool on)
{
    writeString(key, ValueForms::writeSwitch(on));
}

void ConfigWriter::writeBinary(QByteArrayView key, QByteArrayView bytes)
{
    writeString(key, ValueForms::encodeBinary(bytes));
}

void ConfigWriter::writeList(QByteArrayView key, const QByteArrayList &names)
{
    writeString(key, ValueForms::encodeList(names));
}

bool writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    // Unbuffered, so that a short write (disk full, file size limit) shows in the count
    // written: a buffered QSaveFile can lose the tail of a failed flush and still commit.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (file.write(bytes) != bytes.size() || file.size() != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
