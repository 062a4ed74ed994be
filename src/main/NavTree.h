#pragma once

#include "config/TGroup.h"
#include "config/TPop.h"
#include "config/TUser.h"
#include "config/TextCodec.h"

#include <QTreeWidget>
#include <functional>
#include <memory>
#include <variant>
#include <vector>

// One node of the navigation tree. A fixed node carries the page it shows; an item node
// owns its item, which goes with the node.
class NavNode : public QTreeWidgetItem
{
public:
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    NavNode(int imageIndex, const QIcon &icon);

    int imageIndex() const { return m_imageIndex; }

    // The caption, the icon and the image index are kept in the node itself rather than in
    // the item's general table of values: a tree of tens of thousands of items is then made
    // with a fraction of the allocations. Other roles and columns go to that table.
    QVariant data(int column, int role) const override;
    void setData(int column, int role, const QVariant &value) override;

    QWidget *page = nullptr;
    bool added = false; // made by Add in this run: "New" stands for its missing name
    std::variant<std::monostate, std::unique_ptr<TPop>, std::unique_ptr<TUser>, std::unique_ptr<TGroup>> item;

    TPop *pop() const;
    TUser *user() const;
    TGroup *group() const;

    // The item's name (a user's or group's `Name`) as shown and as compared: decoded, and
    // case-folded. Kept between calls and worked out afresh whenever the name's bytes
    // differ from the ones it was made from, so a rename can never leave it stale.
    struct Name
    {
        QByteArray bytes;
        QString text;
        QString key;     // `text` case-folded: the order of the membership lists
        quint64 version; // changes whenever text and key are worked out afresh
    };
    const Name &name(const TextCodec &codec) const;

    // The nodes of a list of items, in their order, each taking its item; captions are
    // decoded with `codec`. The nodes belong to no tree yet: any thread may make them.
    template <typename Item>
    static QList<QTreeWidgetItem *> makeItemNodes(std::vector<std::unique_ptr<Item>> &items, const TextCodec &codec,
                                                  const QIcon &icon)
    {
        QList<QTreeWidgetItem *> nodes;
        nodes.reserve(qsizetype(items.size()));
        for (auto &item : items) {
            auto *node = new NavNode(Item::ImageIndex, icon);
            node->setText(0, codec.decode(item->caption()));
            node->item = std::move(item);
            nodes.append(node);
        }
        items.clear();
        return nodes;
    }

private:
    QString m_caption;
    QIcon m_icon;
    int m_imageIndex = 0;
    mutable Name m_name{{}, {}, {}, 0};
    mutable bool m_nameValid = false;
};

// The navigation tree: a node is selected only by the user or by code, never implicitly
// when the tree takes the focus, and a right click selects the node under the mouse
// before the context menu opens. Its one column is as wide as its widest caption, so a
// long caption is scrolled to rather than cut, and never narrower than the view, so a
// selected node is highlighted across the tree.
class NavTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit NavTree(QWidget *parent = nullptr);

    NavNode *currentNode() const { return static_cast<NavNode *>(currentItem()); }
    NavNode *nodeFromIndex(const QModelIndex &index) const { return static_cast<NavNode *>(itemFromIndex(index)); }

    // Asked before a click selects another node; while it answers false, clicks select
    // nothing (the page shown has a refusal of its own to show first).
    void setSelectionGuard(std::function<bool()> mayChange) { m_mayChange = std::move(mayChange); }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void updateGeometries() override;

private:
    std::function<bool()> m_mayChange;
};
