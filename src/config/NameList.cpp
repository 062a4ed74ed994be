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

namespace {

// The bytes of a written list by what they mean there.
enum ByteClass : unsigned char { Plain, Comma, Quote, Special /* NUL, blanks, control characters */ };

struct ByteClasses
{
    unsigned char of[256] = {};
    constexpr ByteClasses()
    {
        for (int c = 0; c <= 32; ++c)
            of[c] = Special;
        of[int(',')] = Comma;
        of[int('"')] = Quote;
    }
};
constexpr ByteClasses kClasses;

unsigned char classOf(char c)
{
    return kClasses.of[static_cast<unsigned char>(c)];
}

} // namespace

bool NameList::isWrittenForm(QByteArrayView value)
{
    // One pass over the value against the form encodeList writes: names joined by commas;
    // a name holding a blank, a control character, a quote or a comma in quotes, with its
    // quotes doubled; any other name bare. NUL never stands in a written list (a reader
    // stops there). A list of one empty name, written as two quotes, is left to the reader.
    const char *v = value.data();
    const qsizetype n = value.size();
    qsizetype p = 0;
    for (;;) {
        if (p < n && v[p] == '"') {
            bool needed = false; // a bare name would not have been quoted
            for (++p;; ++p) {
                while (p < n && classOf(v[p]) == Plain)
                    ++p;
                if (p >= n || v[p] == '\0')
                    return false;
                if (v[p] == '"') {
                    if (p + 1 < n && v[p + 1] == '"') {
                        needed = true;
                        ++p;
                        continue;
                    }
                    ++p;
                    break;
                }
                needed = true; // a comma, a blank or a control character
            }
            if (!needed)
                return false;
        } else {
            while (p < n && classOf(v[p]) == Plain)
                ++p;
            if (p < n && classOf(v[p]) != Comma)
                return false;
        }
        if (p == n)
            return true;
        if (v[p] != ',')
            return false;
        if (++p == n)
            return true; // a last empty name, written as a comma at the end
    }
}

const QByteArrayList &NameList::list() const
{
    if (m_isValue && !m_decoded) {
        m_names = ValueForms::decodeList(m_value);
        m_decoded = true;
    }
    return m_names;
}

bool NameList::sameNames(const NameList &other) const
{
    if (m_isValue && other.m_isValue)
        return m_value == other.m_value;
    if (!m_isValue && !other.m_isValue)
        return m_names == other.m_names;
    // One list as names, one as its value: the value's names read in place, one by one.
    const QByteArrayList &names = m_isValue ? other.m_names : m_names;
    const NameList &value = m_isValue ? *this : other;
    qsizetype i = 0;
    bool same = true;
    value.forEachName([&](QByteArrayView name) {
        same = same && i < names.size() && QByteArrayView(names[i]) == name;
        ++i;
    });
    return same && i == names.size();
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
