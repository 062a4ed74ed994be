#include "main/MembershipChoices.h"

#include "config/TextCodec.h"
#include "main/NavTree.h"

#include <algorithm>
#include <numeric>

void MembershipChoices::update(const QTreeWidgetItem *root, const TextCodec &codec)
{
    const int n = root->childCount();
    bool same = size_t(n) == m_nodes.size();
    if (!same)
        m_nodes.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        const auto *node = static_cast<const NavNode *>(root->child(i));
        const quint64 version = node->name(codec).version;
        Seen &seen = m_nodes[size_t(i)];
        if (seen.node != node || seen.version != version) {
            same = false;
            seen = {node, version};
        }
    }
    if (!same)
        rebuild(codec);
}

void MembershipChoices::rebuild(const TextCodec &codec)
{
    const int n = int(m_nodes.size());
    m_keys.clear();
    m_treeTexts.clear();
    m_treeBytes.clear();
    m_keys.reserve(n);
    m_treeTexts.reserve(n);
    m_treeBytes.reserve(n);
    for (const Seen &seen : m_nodes) {
        const NavNode::Name &name = seen.node->name(codec);
        m_keys.append(name.key);
        m_treeTexts.append(name.text);
        m_treeBytes.append(name.bytes);
    }

    m_rowToTree.resize(size_t(n));
    std::iota(m_rowToTree.begin(), m_rowToTree.end(), 0);
    std::stable_sort(m_rowToTree.begin(), m_rowToTree.end(),
                     [this](int a, int b) { return m_keys.at(a) < m_keys.at(b); });

    m_sortedTexts.clear();
    m_sortedBytes.clear();
    m_sortedTexts.reserve(n);
    m_sortedBytes.reserve(n);
    m_runStart.assign(size_t(n), 0);
    m_runEnd.assign(size_t(n), 0);
    m_rowByBytes.clear();
    m_rowByKey.clear();
    m_haveRowByKey = false;
    m_rowByBytes.reserve(size_t(n));
    int start = 0;
    for (int row = 0; row < n; ++row) {
        const int t = m_rowToTree[size_t(row)];
        m_sortedTexts.append(m_treeTexts.at(t));
        m_sortedBytes.append(m_treeBytes.at(t));
        if (row > 0 && m_keys.at(t) != m_keys.at(m_rowToTree[size_t(row - 1)]))
            start = row;
        m_runStart[size_t(row)] = start;
        const QByteArray &bytes = m_treeBytes.at(t);
        m_rowByBytes.insert_or_assign(std::string_view(bytes.constData(), size_t(bytes.size())), row);
    }
    for (int row = n - 1, end = n; row >= 0; --row) {
        m_runEnd[size_t(row)] = end;
        if (m_runStart[size_t(row)] == row)
            end = row;
    }
}

int MembershipChoices::rowOf(const QByteArray &name, const TextCodec &codec) const
{
    // Names are mostly written as the item spells its own: the bytes find it without
    // decoding. Equal bytes mean equal names, so any row with them is in the right run.
    const auto exact = m_rowByBytes.find(std::string_view(name.constData(), size_t(name.size())));
    if (exact != m_rowByBytes.end())
        return m_runStart[size_t(exact->second)];
    if (!m_haveRowByKey) {
        m_rowByKey.reserve(m_keys.size());
        for (int row = 0; row < int(m_rowToTree.size()); ++row) {
            if (m_runStart[size_t(row)] == row)
                m_rowByKey.insert(m_keys.at(m_rowToTree[size_t(row)]), row);
        }
        m_haveRowByKey = true;
    }
    return m_rowByKey.value(codec.decode(name).toCaseFolded(), -1);
}

std::vector<char> MembershipChoices::chosenRows(const QByteArrayList &names, const TextCodec &codec) const
{
    std::vector<char> chosen(m_nodes.size(), 0);
    for (const QByteArray &name : names) {
        const int first = rowOf(name, codec);
        if (first < 0 || chosen[size_t(first)])
            continue;
        // Every entry of that name, whatever its letter case.
        for (int row = first; row < m_runEnd[size_t(first)]; ++row)
            chosen[size_t(row)] = 1;
    }
    return chosen;
}

int MembershipChoices::firstTreeIndexOf(const QByteArray &name, const TextCodec &codec) const
{
    const int first = rowOf(name, codec);
    // Equal names keep the tree's order within their run: its first row comes first in the tree.
    return first < 0 ? -1 : m_rowToTree[size_t(first)];
}
