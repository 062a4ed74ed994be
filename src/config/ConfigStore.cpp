#include "config/ConfigStore.h"

#include "config/ByteArena.h"
#include "config/ValueForms.h"
#include "platform/LargeBuffer.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cstring>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(const char *a, const char *b, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i) {
        if (a[i] != b[i] && lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

quint64 hashIgnoringCase(const char *p, qsizetype size)
{
    quint64 h = 14695981039346656037ull; // FNV-1a
    for (qsizetype i = 0; i < size; ++i) {
        h ^= quint64(static_cast<unsigned char>(lower(p[i])));
        h *= 1099511628211ull;
    }
    return h;
}

// The next position at or after `from` holding `c`, or `end`; memchr finds it many bytes
// at a time.
const char *nextOf(const char *from, const char *end, char c)
{
    const void *hit = std::memchr(from, c, size_t(end - from));
    return hit ? static_cast<const char *>(hit) : end;
}

} // namespace

ConfigStore ConfigStore::fromBytes(const QByteArray &bytes)
{
    return fromBytes(QByteArray(bytes));
}

ConfigStore ConfigStore::fromBytes(QByteArray &&bytes)
{
    return parse(std::move(bytes), {});
}

ConfigStore ConfigStore::fromBytesUntil(QByteArray &&bytes, QByteArrayView lastSection)
{
    return parse(std::move(bytes), lastSection.isNull() ? QByteArrayView("") : lastSection);
}

ConfigStore ConfigStore::parse(QByteArray &&bytes, QByteArrayView lastSection)
{
    // A null `lastSection`: the whole file.
    const bool stops = !lastSection.isNull();
    bool inLast = false;
    ConfigStore store;
    if (bytes.isEmpty())
        return store;
    store.m_text = std::move(bytes);
    // The only write access: copies the bytes when they are shared, before any value
    // views them. The parse puts a NUL after every value and section name it keeps.
    char *const text = store.m_text.data();
    const char *const end = text + store.m_text.size();
    store.m_index.assign(64, -1);
    // Where the text holds a NUL of its own, the NULs the parse writes would not tell the
    // lines apart again: the keys are kept as parsed, in one allocation for a file of LF
    // or CR LF lines rather than a vector grown step by step. (A parse that may stop early
    // does not count the lines of the whole file.)
    store.m_keysKept = std::memchr(text, '\0', size_t(end - text)) != nullptr;
    if (store.m_keysKept) {
        size_t lines = 1;
        for (const char *p = text; !stops && (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)))); ++p)
            ++lines;
        store.m_entries.reserve(lines);
    }
    // The counted section whose lines are being read, to be ended by the next section line.
    qsizetype open = -1;
    auto endOpen = [&store, &open, text](const char *at) {
        if (open >= 0)
            store.m_sections[size_t(open)].mark = at - text;
        open = -1;
    };

    bool counting = false; // false before the first section and inside a repeated one
    // Lines end at CR LF, CR or LF; the next CR and the next LF are each searched for once,
    // so that a file of one kind of break is not searched again for the other.
    const char *cr = nextOf(text, end, '\r');
    const char *lf = nextOf(text, end, '\n');
    for (char *lineStart = text; lineStart < end;) {
        if (cr < lineStart)
            cr = nextOf(lineStart, end, '\r');
        if (lf < lineStart)
            lf = nextOf(lineStart, end, '\n');
        char *lineEnd = const_cast<char *>(std::min(cr, lf));
        const char *next = lineEnd;
        if (next < end)
            next += (*next == '\r' && next + 1 < end && next[1] == '\n') ? 2 : 1;

        char *b = lineStart;
        char *e = lineEnd;
        while (b < e && isBlank(*b))
            ++b;
        while (e > b && isBlank(e[-1]))
            --e;
        bool header = false;
        if (b < e && *b == '[') {
            char *close = static_cast<char *>(std::memchr(b, ']', size_t(e - b)));
            if (close) {
                endOpen(lineStart);
                if (inLast)
                    break; // the section asked for has ended
                header = true;
                char *nb = b + 1;
                char *ne = close;
                while (nb < ne && isBlank(*nb))
                    ++nb;
                while (ne > nb && isBlank(ne[-1]))
                    --ne;
                const qsizetype size = ne - nb;
                const quint64 h = hashIgnoringCase(nb, size);
                if (2 * (store.m_sections.size() + 1) > store.m_index.size()) {
                    store.m_index.assign(store.m_index.size() * 2, -1);
                    store.buildIndex();
                }
                const size_t mask = store.m_index.size() - 1;
                size_t slot = size_t(h) & mask;
                counting = true;
                for (; store.m_index[slot] >= 0; slot = (slot + 1) & mask) {
                    const Section &s = store.m_sections[size_t(store.m_index[slot])];
                    if (s.nameSize == size && sameIgnoringCase(text + s.name, nb, size)) {
                        counting = false;
                        break;
                    }
                }
                if (counting) {
                    inLast = stops && size == lastSection.size() && sameIgnoringCase(nb, lastSection.data(), size);
                    store.m_index[slot] = qsizetype(store.m_sections.size());
                    if (store.m_keysKept) {
                        store.m_sections.push_back(Section{nb - text, size, qsizetype(store.m_entries.size())});
                    } else {
                        open = qsizetype(store.m_sections.size());
                        store.m_sections.push_back(Section{nb - text, size, next - text});
                    }
                    *ne = '\0';
                }
            }
        }
        if (!header && counting) {
            char *eq = static_cast<char *>(std::memchr(b, '=', size_t(e - b)));
            if (eq) {
                char *ke = eq;
                while (ke > b && isBlank(ke[-1]))
                    --ke;
                char *vb = eq + 1;
                while (vb < e && isBlank(*vb))
                    ++vb;
                // Every key counts; a lookup takes the first of equal keys.
                if (store.m_keysKept && ke - b < qsizetype(kLongValue)) {
                    const qsizetype valueSize = e - vb;
                    if (valueSize >= qsizetype(kLongValue))
                        store.m_longValues.emplace_back(store.m_entries.size(), valueSize);
                    store.m_entries.push_back(Entry{b - text, quint32(ke - b),
                                                    quint32(std::min<qsizetype>(valueSize, kLongValue))});
                }
                *e = '\0';
            }
        }
        lineStart = const_cast<char *>(next);
    }
    endOpen(end); // (a parse that stopped at a section line has ended its last section there)
    return store;
}

qsizetype SectionEndFinder::scan(QByteArrayView bytes, bool complete)
{
    // The parse's own reading of lines: a line ends at CR LF, CR or LF; a section line is
    // "[", after blanks, and a "]" later on the line. Only whole lines are looked at: a CR
    // at the end of what has come may yet be followed by its LF.
    const char *const text = bytes.data();
    const qsizetype size = bytes.size();
    while (!m_done && m_next < size) {
        const char *b = text + m_next;
        const char *lineEnd = b;
        while (lineEnd < text + size && *lineEnd != '\r' && *lineEnd != '\n')
            ++lineEnd;
        qsizetype next = lineEnd - text;
        if (lineEnd == text + size) {
            if (!complete)
                break;
        } else if (*lineEnd == '\r') {
            if (next + 1 == size && !complete)
                break;
            next += (next + 1 < size && text[next + 1] == '\n') ? 2 : 1;
        } else {
            next += 1;
        }
        while (b < lineEnd && isBlank(*b))
            ++b;
        if (b < lineEnd && *b == '[') {
            const char *close = static_cast<const char *>(std::memchr(b, ']', size_t(lineEnd - b)));
            if (close) {
                if (m_inSection) {
                    m_end = m_next;
                    m_done = true;
                    break;
                }
                const char *nb = b + 1;
                const char *ne = close;
                while (nb < ne && isBlank(*nb))
                    ++nb;
                while (ne > nb && isBlank(ne[-1]))
                    --ne;
                // The first section of that name is the one the parse counts.
                m_inSection = ne - nb == m_section.size() && sameIgnoringCase(nb, m_section.constData(), ne - nb);
            }
        }
        m_next = next;
    }
    return m_end;
}

void ConfigStore::buildIndex()
{
    const size_t mask = m_index.size() - 1;
    for (size_t i = 0; i < m_sections.size(); ++i) {
        const Section &s = m_sections[i];
        size_t slot = size_t(hashIgnoringCase(m_text.constData() + s.name, s.nameSize)) & mask;
        while (m_index[slot] >= 0)
            slot = (slot + 1) & mask;
        m_index[slot] = qsizetype(i);
    }
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
        names.append(SharedBytes::slice(m_text, m_text.constData() + s.name, s.nameSize));
    return names;
}

qsizetype ConfigStore::find(QByteArrayView section) const
{
    if (m_sections.empty())
        return -1;
    if (m_index.empty()) {
        for (size_t i = 0; i < m_sections.size(); ++i) {
            const Section &s = m_sections[i];
            if (s.nameSize == section.size() && sameIgnoringCase(m_text.constData() + s.name, section.data(), s.nameSize))
                return qsizetype(i);
        }
        return -1;
    }
    const size_t mask = m_index.size() - 1;
    for (size_t slot = size_t(hashIgnoringCase(section.data(), section.size())) & mask; m_index[slot] >= 0;
         slot = (slot + 1) & mask) {
        const Section &s = m_sections[size_t(m_index[slot])];
        if (s.nameSize == section.size() && sameIgnoringCase(m_text.constData() + s.name, section.data(), s.nameSize))
            return m_index[slot];
    }
    return -1;
}

QByteArrayView ConfigStore::sectionName(qsizetype section) const
{
    const Section &s = m_sections[size_t(section)];
    return QByteArrayView(m_text.constData() + s.name, s.nameSize);
}

QByteArrayView ConfigStore::valueOf(size_t entry) const
{
    const Entry &e = m_entries[entry];
    // Between the key and its value stand only blanks and the "="; a NUL ends every value.
    const char *p = m_text.constData() + e.key + e.keySize;
    while (isBlank(*p))
        ++p;
    ++p; // the "="
    while (isBlank(*p))
        ++p;
    qsizetype size = e.valueSize;
    if (e.valueSize == kLongValue) {
        const auto it = std::lower_bound(m_longValues.begin(), m_longValues.end(), std::pair{entry, qsizetype(0)});
        if (it != m_longValues.end() && it->first == entry)
            size = it->second;
    }
    return QByteArrayView(p, size);
}

template <typename Visit>
void ConfigStore::forEachKey(qsizetype section, Visit &&visit) const
{
    const Section &s = m_sections[size_t(section)];
    const char *const text = m_text.constData();
    if (m_keysKept) {
        const size_t end = entriesEnd(section);
        for (size_t i = size_t(s.mark); i < end; ++i) {
            const Entry &e = m_entries[i];
            if (!visit(QByteArrayView(text + e.key, e.keySize), valueOf(i)))
                return;
        }
        return;
    }
    // The lines begin after the section line: its name ends at the NUL the parse wrote,
    // the rest of that line holds no NUL and no break.
    const char *const end = text + s.mark;
    const char *p = text + s.name + s.nameSize;
    while (p < end && *p != '\r' && *p != '\n')
        ++p;
    if (p < end)
        p += (*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
    // The lines as the parse read them: a key line now ends at the NUL the parse wrote
    // after its value (in place of a blank or a line break; only blanks and the break
    // follow it), any other line at its break.
    while (p < end) {
        const char *lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n' && *lineEnd != '\r' && *lineEnd != '\0')
            ++lineEnd;
        const char *b = p;
        const char *e = lineEnd;
        p = lineEnd + 1;
        while (b < e && isBlank(*b))
            ++b;
        while (e > b && isBlank(e[-1]))
            --e;
        const char *eq = static_cast<const char *>(std::memchr(b, '=', size_t(e - b)));
        if (!eq)
            continue;
        const char *ke = eq;
        while (ke > b && isBlank(ke[-1]))
            --ke;
        const char *vb = eq + 1;
        while (vb < e && isBlank(*vb))
            ++vb;
        if (!visit(QByteArrayView(b, ke - b), QByteArrayView(vb, e - vb)))
            return;
    }
}

std::optional<QByteArrayView> ConfigStore::view(qsizetype section, QByteArrayView key) const
{
    std::optional<QByteArrayView> found;
    forEachKey(section, [&found, key](QByteArrayView k, QByteArrayView v) {
        if (k.size() == key.size() && sameIgnoringCase(k.data(), key.data(), k.size())) {
            found = v;
            return false;
        }
        return true;
    });
    return found;
}

void ConfigStore::keys(qsizetype section, std::vector<KeyValue> &out) const
{
    out.clear();
    forEachKey(section, [&out](QByteArrayView k, QByteArrayView v) {
        out.push_back(KeyValue{k, v});
        return true;
    });
}

std::optional<QByteArrayView> ConfigStore::find(const std::vector<KeyValue> &keys, QByteArrayView key)
{
    for (const KeyValue &kv : keys) {
        if (kv.key.size() == key.size() && sameIgnoringCase(kv.key.data(), key.data(), key.size()))
            return kv.value;
    }
    return std::nullopt;
}

QByteArray ConfigStore::share(QByteArrayView value) const
{
    return SharedBytes::slice(m_text, value.data(), value.size());
}

QByteArray ConfigStore::decodeBinaryInPlace(QByteArrayView value)
{
    if (value.size() < 2)
        return {};
    // Through the pointer the parse wrote with: m_text.data() would copy the whole buffer
    // once values share it. The bytes written are this value's own, which no array views.
    char *out = const_cast<char *>(value.data());
    Q_ASSERT(out >= m_text.constData() && out + value.size() <= m_text.constData() + m_text.size());
    qsizetype n = 0;
    for (qsizetype i = 0; i + 1 < value.size(); i += 2) {
        const int hi = ValueForms::hexDigit(value[i]);
        const int lo = ValueForms::hexDigit(value[i + 1]);
        if (hi < 0 || lo < 0)
            break;
        out[n++] = char(hi * 16 + lo); // at or before the digit just read
    }
    out[n] = '\0'; // n < value.size(): within the value
    return SharedBytes::slice(m_text, out, n);
}

std::optional<QByteArray> ConfigStore::value(QByteArrayView section, QByteArrayView key) const
{
    const qsizetype s = find(section);
    if (s < 0)
        return std::nullopt;
    const auto v = view(s, key);
    if (!v)
        return std::nullopt;
    return share(*v);
}

QByteArray ConfigStore::readString(QByteArrayView section, QByteArrayView key,
                                   const QByteArray &defaultValue) const
{
    return value(section, key).value_or(defaultValue);
}

int ConfigStore::readInteger(QByteArrayView section, QByteArrayView key, int defaultValue) const
{
    const qsizetype s = find(section);
    const auto v = s < 0 ? std::nullopt : view(s, key);
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
    const qsizetype s = find(section);
    const auto v = s < 0 ? std::nullopt : view(s, key);
    return v ? ValueForms::decodeBinary(*v) : QByteArray();
}

QByteArrayList ConfigStore::readList(QByteArrayView section, QByteArrayView key) const
{
    const qsizetype s = find(section);
    const auto v = s < 0 ? std::nullopt : view(s, key);
    return v ? ValueForms::decodeList(*v) : QByteArrayList();
}

void ConfigWriter::reserve(qsizetype size)
{
    m_bytes.reserve(size);
    if (m_bytes.isEmpty())
        LargeBuffer::adviseHugePages(m_bytes.data(), m_bytes.capacity());
}

ConfigWriter ConfigWriter::counter()
{
    ConfigWriter w;
    w.m_counting = true;
    return w;
}

void ConfigWriter::beginSection(QByteArrayView name)
{
    if (m_counting) {
        m_count += name.size() + 4;
        return;
    }
    m_bytes.append('[');
    m_bytes.append(name.data(), name.size());
    m_bytes.append("]\r\n", 3);
}

void ConfigWriter::beginSection(QByteArrayView kindWord, int number)
{
    const qsizetype size = kindWord.size() + ValueForms::encodedIntegerSize(number) + 4;
    if (m_counting) {
        m_count += size;
        return;
    }
    const qsizetype old = m_bytes.size();
    m_bytes.resize(old + size);
    char *p = m_bytes.data() + old;
    *p++ = '[';
    std::memcpy(p, kindWord.data(), size_t(kindWord.size()));
    p = ValueForms::encodeIntegerTo(p + kindWord.size(), number);
    std::memcpy(p, "]\r\n", 3);
}

char *ConfigWriter::beginLine(QByteArrayView key, qsizetype valueSize)
{
    const qsizetype size = key.size() + 1 + valueSize + 2;
    if (m_counting) {
        m_count += size;
        return nullptr;
    }
    const qsizetype old = m_bytes.size();
    m_bytes.resize(old + size);
    char *p = m_bytes.data() + old;
    if (!key.isEmpty())
        std::memcpy(p, key.data(), size_t(key.size()));
    p[key.size()] = '=';
    return p + key.size() + 1;
}

void ConfigWriter::finishLine(char *value, qsizetype valueSize)
{
    // A line break pasted into a text field (or a list name) would end the value and start
    // a line of its own, a key or a section of the file's reader's choosing: it is written
    // as a blank.
    if (std::memchr(value, '\r', size_t(valueSize)) || std::memchr(value, '\n', size_t(valueSize))) {
        for (qsizetype i = 0; i < valueSize; ++i) {
            if (value[i] == '\r' || value[i] == '\n')
                value[i] = ' ';
        }
    }
    value[valueSize] = '\r';
    value[valueSize + 1] = '\n';
}

void ConfigWriter::writeString(QByteArrayView key, QByteArrayView value)
{
    if (char *p = beginLine(key, value.size())) {
        if (!value.isEmpty())
            std::memcpy(p, value.data(), size_t(value.size()));
        finishLine(p, value.size());
    }
}

void ConfigWriter::writeInteger(QByteArrayView key, int value)
{
    const qsizetype size = ValueForms::encodedIntegerSize(value);
    if (char *p = beginLine(key, size)) {
        ValueForms::encodeIntegerTo(p, value);
        std::memcpy(p + size, "\r\n", 2); // digits only
    }
}

void ConfigWriter::writeSwitch(QByteArrayView key, bool on)
{
    writeString(key, on ? QByteArrayView("1") : QByteArrayView("0"));
}

void ConfigWriter::writeBinary(QByteArrayView key, QByteArrayView bytes)
{
    const qsizetype size = 2 * bytes.size();
    if (char *p = beginLine(key, size)) {
        ValueForms::encodeBinaryTo(p, bytes);
        std::memcpy(p + size, "\r\n", 2); // hexadecimal digits only
    }
}

void ConfigWriter::writeList(QByteArrayView key, const NameList &names)
{
    const qsizetype size = names.writtenSize();
    if (char *p = beginLine(key, size)) {
        names.writeTo(p);
        finishLine(p, size);
    }
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
