#include "main/NavTree.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QSignalBlocker>

NavNode::NavNode(int imageIndex, const QIcon &icon)
    : m_icon(icon)
    , m_imageIndex(imageIndex)
{
    setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
}

QVariant NavNode::data(int column, int role) const
{
    if (column == 0) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return m_caption;
        case Qt::DecorationRole:
            return QVariant(m_icon);
        case ImageIndexRole:
            return m_imageIndex;
        default:
            break;
        }
    }
    return QTreeWidgetItem::data(column, role);
}

void NavNode::setData(int column, int role, const QVariant &value)
{
    if (column == 0) {
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            if (const QString caption = value.toString(); caption != m_caption) {
                m_caption = caption;
                emitDataChanged();
            }
            return;
        case Qt::DecorationRole:
            m_icon = value.value<QIcon>();
            emitDataChanged();
            return;
        case ImageIndexRole:
            if (value.toInt() != m_imageIndex) {
                m_imageIndex = value.toInt();
                emitDataChanged();
            }
            return;
        default:
            break;
        }
    }
    QTreeWidgetItem::setData(column, role, value);
}

TPop *NavNode::pop() const
{
    const auto *p = std::get_if<std::unique_ptr<TPop>>(&item);
    return p ? p->get() : nullptr;
}

TUser *NavNode::user() const
{
    const auto *p = std::get_if<std::unique_ptr<TUser>>(&item);
    return p ? p->get() : nullptr;
}

TGroup *NavNode::group() const
{
    const auto *p = std::get_if<std::unique_ptr<TGroup>>(&item);
    return p ? p->get() : nullptr;
}

const NavNode::Name &NavNode::name(const TextCodec &codec) const
{
    static const QByteArray none;
    const QByteArray *bytes = &none;
    if (const TUser *u = user())
        bytes = &u->Name;
    else if (const TGroup *g = group())
        bytes = &g->Name;
    // Equal bytes share their data as long as the name is not changed; compare the
    // content only when they do not.
    const bool same = m_nameValid && m_name.bytes.size() == bytes->size()
                      && (m_name.bytes.constData() == bytes->constData() || m_name.bytes == *bytes);
    if (!same) {
        static quint64 versions = 0;
        m_name.bytes = *bytes;
        m_name.text = codec.decode(*bytes);
        m_name.key = m_name.text.toCaseFolded();
        m_name.version = ++versions;
        m_nameValid = true;
    }
    return m_name;
}

NavTree::NavTree(QWidget *parent)
    : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setColumnCount(1);
    setTextElideMode(Qt::ElideNone);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
}

void NavTree::updateGeometries()
{
    const int width = viewport()->width();
    if (header()->minimumSectionSize() != width)
        header()->setMinimumSectionSize(width);
    QTreeWidget::updateGeometries();
}

void NavTree::focusInEvent(QFocusEvent *event)
{
    // The item view makes its first row current when it gains the focus without one;
    // here "no node selected" is a state of its own (nothing is stored, General shows).
    if (currentItem()) {
        QTreeWidget::focusInEvent(event);
        return;
    }
    {
        const QSignalBlocker blocker(selectionModel());
        QTreeWidget::focusInEvent(event);
        selectionModel()->clearCurrentIndex();
    }
    viewport()->update();
}

void NavTree::mousePressEvent(QMouseEvent *event)
{
    // The node under the mouse is found before anything changes and then selected as a
    // whole: selecting it collapses the branch selected before, so the rows move, and the
    // view's own handling would then highlight whatever stands at the point afterwards.
    if (event->button() == Qt::RightButton || event->button() == Qt::LeftButton) {
        QTreeWidgetItem *under = itemAt(event->position().toPoint());
        if (under && under != currentItem() && m_mayChange && !m_mayChange()) {
            event->accept();
            return;
        }
        if (under)
            setCurrentItem(under);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

void NavTree::mouseMoveEvent(QMouseEvent *event)
{
    // Dragging with a button held selects nothing else: a node is chosen by its click.
    if (event->buttons() & (Qt::LeftButton | Qt::RightButton)) {
        event->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

void NavTree::mouseDoubleClickEvent(QMouseEvent *event)
{
    mousePressEvent(event);
}
