#pragma once

#include "config/TGroup.h"
#include "config/TPop.h"
#include "config/TUser.h"

#include <QTreeWidget>
#include <memory>
#include <variant>

// One node of the navigation tree. A fixed node carries the page it shows; an item node
// owns its item, which goes with the node.
class NavNode : public QTreeWidgetItem
{
public:
    static constexpr int ImageIndexRole = Qt::UserRole + 1;

    NavNode(int imageIndex, const QIcon &icon);

    int imageIndex() const { return data(0, ImageIndexRole).toInt(); }

    QWidget *page = nullptr;
    std::variant<std::monostate, std::unique_ptr<TPop>, std::unique_ptr<TUser>, std::unique_ptr<TGroup>> item;

    TPop *pop() const;
    TUser *user() const;
    TGroup *group() const;
};

// The navigation tree: a node is selected only by the user or by code, never implicitly
// when the tree takes the focus, and a right click selects the node under the mouse
// before the context menu opens.
class NavTree : public QTreeWidget
{
    Q_OBJECT

public:
    explicit NavTree(QWidget *parent = nullptr);

    NavNode *currentNode() const { return static_cast<NavNode *>(currentItem()); }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
};
