#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <initializer_list>

#include "config/ValueForms.h"

// The names of a membership list: the groups an account files into, the users a group
// admits. A list loaded from a file is kept as the list value the file holds (a byte array
// sharing the file's buffer) and written back as it is: a group admitting 10,000 users is
// one array, not 10,000, and saving it copies its bytes. Lists given as names (the editor's
// check lists) are kept as those names. Either way it reads and compares as a list of names.
class NameList
{
public:
    NameList() = default;
    NameList(const QByteArrayList &names) : m_names(names) {} // NOLINT: used as a list
    NameList(std::initializer_list<QByteArray> names) : m_names(names) {}

    // A list value as ValueForms::encodeList writes it, kept as it is. The caller makes sure
    // it is in that form (isWrittenForm), so that the names read back from it are the same.
    static NameList fromWrittenForm(const QByteArray &value);
    // Whether a list value is exactly what encodeList writes for the names it holds.
    static bool isWrittenForm(QByteArrayView value);

    QByteArrayList names() const { return list(); }
    // The names, without keeping a list value decoded (a reader that looks once).
    QByteArrayList decodedNames() const
    {
        return m_isValue && !m_decoded ? ValueForms::decodeList(m_value) : m_names;
    }
    operator QByteArrayList() const { return list(); } // NOLINT: reads as a list of names
    bool isEmpty() const { return m_isValue ? m_value.isEmpty() : m_names.isEmpty(); }
    // Read as names (a list kept as its value is decoded at the first of these).
    qsizetype size() const { return list().size(); }
    const QByteArray &at(qsizetype i) const { return list().at(i); }
    bool contains(const QByteArray &name) const { return list().contains(name); }
    QByteArrayList::const_iterator begin() const { return list().cbegin(); }
    QByteArrayList::const_iterator end() const { return list().cend(); }

    // Hands each name to `sink` as a view, in order, without making a list of them (a list
    // kept as its value is read in place; the views last until the next name).
    template <typename Sink>
    void forEachName(Sink &&sink) const
    {
        if (m_isValue && !m_decoded) {
            QByteArray scratch;
            ValueForms::forEachListName(m_value, scratch, sink);
            return;
        }
        for (const QByteArray &name : m_names)
            sink(QByteArrayView(name));
    }
    // Whether both hold the same names; lists kept as their values compare as values (the
    // written form is exactly what the names give), without decoding either.
    bool sameNames(const NameList &other) const;

    // The list value that a save writes: encodeList(names()).
    qsizetype writtenSize() const;
    char *writeTo(char *out) const;

    friend bool operator==(const NameList &a, const QByteArrayList &b) { return a.names() == b; }
    friend bool operator==(const QByteArrayList &a, const NameList &b) { return a == b.names(); }
    friend bool operator==(const NameList &a, const NameList &b) { return a.names() == b.names(); }
    friend bool operator!=(const NameList &a, const QByteArrayList &b) { return !(a == b); }
    friend bool operator!=(const QByteArrayList &a, const NameList &b) { return !(a == b); }
    friend bool operator!=(const NameList &a, const NameList &b) { return !(a == b); }

private:
    const QByteArrayList &list() const;

    mutable QByteArrayList m_names; // for a kept value: its names once decoded
    QByteArray m_value;
    bool m_isValue = false;
    mutable bool m_decoded = false;
};
