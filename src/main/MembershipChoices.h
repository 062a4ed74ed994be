#pragma once

#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <string_view>
#include <unordered_map>
#include <vector>

class NavNode;
class TextCodec;
class QTreeWidgetItem;

// The entries of one membership list (the users a group admits, the groups an account
// files into) for the items under a tree root: their names in tree order and in the
// list's alphabetical order, and which of them a list of names chooses.
//
// Showing an item with thousands of choices must cost little more than building the list
// widget itself, so the names, their order and the lookups are kept between showings and
// worked out afresh only when an item under the root was added, removed, moved or renamed.
class MembershipChoices
{
public:
    // Brings the entries up to date with the children of `root`. Linear when nothing
    // changed; a sort (n log n) when something did.
    void update(const QTreeWidgetItem *root, const TextCodec &codec);

    int count() const { return int(m_nodes.size()); }

    // By row of the list: alphabetically, letter case aside, equal names in tree order.
    const QStringList &sortedTexts() const { return m_sortedTexts; }
    const QByteArrayList &sortedBytes() const { return m_sortedBytes; }
    // In tree order.
    const QStringList &treeTexts() const { return m_treeTexts; }
    const QByteArrayList &treeBytes() const { return m_treeBytes; }

    // For each row of the list, whether one of `names` is its name, letter case aside.
    std::vector<char> chosenRows(const QByteArrayList &names, const TextCodec &codec) const;

    // The tree index of the first entry whose name is `name`, letter case aside, or -1.
    int firstTreeIndexOf(const QByteArray &name, const TextCodec &codec) const;

private:
    void rebuild(const TextCodec &codec);
    // The first row whose name equals `name` letter case aside, or -1.
    int rowOf(const QByteArray &name, const TextCodec &codec) const;

    struct Seen
    {
        const NavNode *node;
        quint64 version;
    };
    std::vector<Seen> m_nodes;    // tree order, with the name version each was taken at
    QStringList m_keys;           // folded names, tree order
    QStringList m_treeTexts;
    QByteArrayList m_treeBytes;
    std::vector<int> m_rowToTree; // the tree index of each row
    std::vector<int> m_runEnd;    // rows with equal names stand together: for each row, the end of its run
    std::vector<int> m_runStart;  // and its start
    QStringList m_sortedTexts;
    QByteArrayList m_sortedBytes;
    // Exact name bytes (viewing into m_treeBytes) -> a row with them. Qt's hash of byte
    // arrays is many times slower than the standard one for short names.
    std::unordered_map<std::string_view, int> m_rowByBytes;
    // Folded name -> first row of its run; made when a name is first not found by its bytes.
    mutable QHash<QString, int> m_rowByKey;
    mutable bool m_haveRowByKey = false;
};
