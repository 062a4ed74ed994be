#include "config/NameList.h"

#include "config/ValueForms.h"

#include <cstring>

NameList NameList::fromWrittenForm(const QByteArray &value)
{
    NameList list;
    list.m_value = value;
    list.m_isValue = true;
    return list;
}

bool NameList::isWrittenForm(QByteArrayView value)
{
    // Walks the names and matches each one's written form against the value: the names
    // joined by commas, quoted where encodeList quotes them. A list of one empty name
    // (written as two quotes) is left to the general path.
    const char *v = value.data();
    const qsizetype n = value.size();
    qsizetype q = 0;
    bool same = true;
    bool first = true;
    QByteArray scratch;
    ValueForms::forEachListName(value, scratch, [&](QByteArrayView name) {
        if (!same)
            return;
        if (!first) {
            if (q >= n || v[q] != ',') {
                same = false;
                return;
            }
            ++q;
        }
        first = false;
        if (!ValueForms::needsQuotes(name)) {
            same = n - q >= name.size() && std::memcmp(v + q, name.data(), size_t(name.size())) == 0;
            q += name.size();
            return;
        }
        if (q >= n || v[q++] != '"') {
            same = false;
            return;
        }
        for (const char c : name) {
            if (c == '"' && (q >= n || v[q++] != '"')) {
                same = false;
                return;
            }
            if (q >= n || v[q++] != c) {
                same = false;
                return;
            }
        }
        same = q < n && v[q++] == '"';
    });
    return same && q == n;
}

QByteArrayList NameList::names() const
{
    return m_isValue ? ValueForms::decodeList(m_value) : m_names;
}

qsizetype NameList::writtenSize() const
{
    return m_isValue ? m_value.size() : ValueForms::encodedListSize(m_names);
}

char *NameList::writeTo(char *out) const
{
    if (!m_isValue)
        return ValueForms::encodeListTo(out, m_names);
    if (!m_value.isEmpty())
        std::memcpy(out, m_value.constData(), size_t(m_value.size()));
    return out + m_value.size();
}
