#include "main/FindingsMarker.h"

#include "main/NavTree.h"

#include <QApplication>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

namespace {

const QColor kErrorColor(205, 38, 38);
const QColor kWarningColor(236, 160, 0);

// Paints the marks over what the tree paints: a small badge on the icon of a node with
// findings, and after a root's caption the number of its items with findings.
class FindingsDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const int level = index.data(FindingsMarker::LevelRole).toInt();
        const int count = index.data(FindingsMarker::CountRole).toInt();
        if (level == 0)
            return;
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget *widget = opt.widget;
        const QStyle *style = widget ? widget->style() : QApplication::style();
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        if (count > 0) {
            const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget);
            const QRect pill = countRect(opt, text, count);
            painter->setPen(Qt::NoPen);
            painter->setBrush(level == 2 ? kErrorColor : kWarningColor);
            painter->drawRoundedRect(pill, pill.height() / 2.0, pill.height() / 2.0);
            painter->setPen(level == 2 ? Qt::white : QColor(40, 30, 0));
            painter->setFont(countFont(opt.font));
            painter->drawText(pill, Qt::AlignCenter, QString::number(count));
        } else {
            const QRect icon = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, widget);
            const qreal d = qMax(9.0, icon.width() * 0.55);
            badge(painter, QRectF(icon.right() + 2 - d, icon.bottom() + 2 - d, d, d), level);
        }
        painter->restore();
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        const int count = index.data(FindingsMarker::CountRole).toInt();
        if (count > 0)
            size.rwidth() += pillWidth(option.font, count) + 10;
        return size;
    }

private:
    static QFont countFont(QFont font)
    {
        font.setPixelSize(10);
        font.setBold(true);
        return font;
    }

    static int pillWidth(const QFont &font, int count)
    {
        return qMax(16, QFontMetrics(countFont(font)).horizontalAdvance(QString::number(count)) + 9);
    }

    static QRect countRect(const QStyleOptionViewItem &opt, const QRect &text, int count)
    {
        const int margin = 4;
        const int left = text.left() + margin + QFontMetrics(opt.font).horizontalAdvance(opt.text) + 4;
        const int height = 14;
        return QRect(left, text.center().y() - height / 2 + 1, pillWidth(opt.font, count), height);
    }

    // An error: a red disc with a white cross; a warning: an amber triangle with a mark.
    static void badge(QPainter *p, const QRectF &r, int level)
    {
        p->setPen(QPen(Qt::white, 1.2));
        if (level == 2) {
            p->setBrush(kErrorColor);
            p->drawEllipse(r);
            const QRectF c = r.adjusted(r.width() * 0.3, r.height() * 0.3, -r.width() * 0.3, -r.height() * 0.3);
            p->setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
            p->drawLine(c.topLeft(), c.bottomRight());
            p->drawLine(c.topRight(), c.bottomLeft());
        } else {
            QPainterPath tri;
            tri.moveTo(r.center().x(), r.top());
            tri.lineTo(r.right(), r.bottom());
            tri.lineTo(r.left(), r.bottom());
            tri.closeSubpath();
            p->setBrush(kWarningColor);
            p->drawPath(tri);
            p->setPen(QPen(QColor(40, 30, 0), 1.4, Qt::SolidLine, Qt::RoundCap));
            const qreal x = r.center().x();
            p->drawLine(QPointF(x, r.top() + r.height() * 0.38), QPointF(x, r.top() + r.height() * 0.68));
            p->drawPoint(QPointF(x, r.top() + r.height() * 0.84));
        }
    }
};

QString plural(int n, const char *one, const char *many)
{
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

template <typename T>
std::vector<T> copyItems(NavNode *root, std::vector<NavNode *> &nodes, T *(NavNode::*item)() const)
{
    const int n = root->childCount();
    std::vector<T> items;
    items.reserve(size_t(n));
    nodes.resize(size_t(n));
    for (int i = 0; i < n; ++i) {
        auto *node = static_cast<NavNode *>(root->child(i));
        nodes[size_t(i)] = node;
        const T *it = (node->*item)();
        items.push_back(it ? *it : T());
    }
    return items;
}

template <typename T>
QList<const T *> views(const std::vector<T> &items)
{
    QList<const T *> out;
    out.reserve(qsizetype(items.size()));
    for (const T &item : items)
        out.append(&item);
    return out;
}

} // namespace

FindingsMarker::FindingsMarker(const Nodes &nodes, std::function<ServerState()> serverState, const TextCodec &codec,
                               QObject *parent)
    : QObject(parent)
    , m_nodes(nodes)
    , m_serverState(std::move(serverState))
    , m_codec(codec)
{
    m_nodes.tree->setItemDelegate(new FindingsDelegate(m_nodes.tree));
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &FindingsMarker::timeout);
    m_sinceEdit.start();

    // Items that come or go, and captions that change, are edits too; a node that goes
    // takes its mark with it.
    const QAbstractItemModel *model = m_nodes.tree->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, [this]() { schedule(); });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                const QAbstractItemModel *m = m_nodes.tree->model();
                for (int row = first; row <= last; ++row)
                    m_marks.remove(m_nodes.tree->nodeFromIndex(m->index(row, 0, parent)));
                schedule();
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
                    schedule();
            });
}

FindingsMarker::~FindingsMarker()
{
    if (m_worker.joinable())
        m_worker.join();
}

void FindingsMarker::schedule()
{
    ++m_generation;
    m_sinceEdit.restart();
    if (!m_timer.isActive())
        m_timer.start(DelayMs);
}

void FindingsMarker::timeout()
{
    // Each edit pushes the check back; the timer is not restarted on every keystroke.
    const qint64 left = DelayMs - m_sinceEdit.elapsed();
    if (left > 0) {
        m_timer.start(int(left));
        return;
    }
    runNow();
}

void FindingsMarker::runNow()
{
    if (m_running) {
        m_runAgain = true;
        return;
    }
    if (m_worker.joinable())
        m_worker.join();
    QElapsedTimer copying;
    copying.start();
    // The copies share the items' bytes; nothing the check reads is touched by the window
    // while it runs.
    struct Copy
    {
        ServerState state;
        std::vector<TPop> pops;
        std::vector<TUser> users;
        std::vector<TGroup> groups;
        TextCodec codec;
    };
    auto copy = std::make_shared<Copy>();
    copy->state = m_serverState();
    copy->pops = copyItems<TPop>(m_nodes.incoming, m_popNodes, &NavNode::pop);
    copy->users = copyItems<TUser>(m_nodes.users, m_userNodes, &NavNode::user);
    copy->groups = copyItems<TGroup>(m_nodes.groups, m_groupNodes, &NavNode::group);
    copy->codec = m_codec;
    m_timings.copyMs = double(copying.nsecsElapsed()) / 1e6;

    m_running = true;
    const quint64 generation = m_generation;
    m_worker = std::thread([this, copy, generation]() {
        QElapsedTimer checking;
        checking.start();
        QList<CheckFinding> findings =
            ConfigCheck::run(copy->state.server, copy->state.oldFormat, views(copy->pops), views(copy->users),
                             views(copy->groups), copy->codec);
        const double ms = double(checking.nsecsElapsed()) / 1e6;
        QMetaObject::invokeMethod(
            this, [this, generation, findings = std::move(findings), ms]() { finished(generation, findings, ms); },
            Qt::QueuedConnection);
    });
}

void FindingsMarker::finished(quint64 generation, QList<CheckFinding> findings, double checkMs)
{
    m_running = false;
    if (m_worker.joinable())
        m_worker.join();
    m_timings.checkMs = checkMs;
    // An edit since the copy was taken: its own run follows, and this result is out of date.
    if (generation == m_generation) {
        QElapsedTimer marking;
        marking.start();
        m_findings = std::move(findings);
        mark(m_findings);
        m_timings.markMs = double(marking.nsecsElapsed()) / 1e6;
        m_haveResult = true;
        emit marked();
    }
    if (m_runAgain) {
        m_runAgain = false;
        runNow();
    }
}

NavNode *FindingsMarker::nodeOf(const CheckFinding &f) const
{
    const std::vector<NavNode *> *nodes = nullptr;
    switch (f.kind) {
    case CheckFinding::Kind::Server: return m_nodes.general;
    case CheckFinding::Kind::Pop: nodes = &m_popNodes; break;
    case CheckFinding::Kind::User: nodes = &m_userNodes; break;
    case CheckFinding::Kind::Group: nodes = &m_groupNodes; break;
    }
    return nodes && f.index >= 0 && size_t(f.index) < nodes->size() ? (*nodes)[size_t(f.index)] : nullptr;
}

void FindingsMarker::setMark(NavNode *node, const Mark &mark)
{
    node->setData(0, LevelRole, mark.level == 0 ? QVariant() : QVariant(mark.level));
    node->setData(0, Qt::ToolTipRole, mark.tip.isEmpty() ? QVariant() : QVariant(mark.tip));
}

void FindingsMarker::mark(const QList<CheckFinding> &findings)
{
    QHash<NavNode *, Mark> next;
    m_errors = m_warnings = 0;
    auto add = [&next](NavNode *node, const CheckFinding &f) {
        if (!node)
            return;
        Mark &m = next[node];
        m.level = qMax(m.level, f.level == CheckFinding::Level::Error ? 2 : 1);
        if (!m.tip.isEmpty())
            m.tip += QLatin1Char('\n');
        m.tip += f.levelText() + QLatin1Char(' ') + f.code + QStringLiteral(": ") + f.message;
    };
    for (const CheckFinding &f : findings) {
        (f.level == CheckFinding::Level::Error ? m_errors : m_warnings)++;
        add(nodeOf(f), f);
        // Port is on the General page, ConfigPort on the Advanced one.
        if (f.kind == CheckFinding::Kind::Server && f.code == QLatin1String("port-conflict"))
            add(m_nodes.advanced, f);
    }

    // The roots: how many of their items have findings, and of what kind.
    struct Root
    {
        NavNode *node;
        const char *one, *many;
        int items = 0, errors = 0, warnings = 0;
    };
    Root roots[] = {{m_nodes.incoming, "account", "accounts"}, {m_nodes.users, "user", "users"},
                    {m_nodes.groups, "group", "groups"}};
    for (const CheckFinding &f : findings) {
        Root *r = f.kind == CheckFinding::Kind::Pop     ? &roots[0]
                  : f.kind == CheckFinding::Kind::User  ? &roots[1]
                  : f.kind == CheckFinding::Kind::Group ? &roots[2]
                                                        : nullptr;
        if (r)
            (f.level == CheckFinding::Level::Error ? r->errors : r->warnings)++;
    }
    for (auto it = next.cbegin(); it != next.cend(); ++it) {
        for (Root &r : roots) {
            if (it.key()->parent() == r.node)
                ++r.items;
        }
    }

    // Only the nodes whose marks change are touched, and quietly: the marks change no
    // item and no layout, and the tree is repainted once.
    bool widthChanged = false;
    {
        const QSignalBlocker quiet(m_nodes.tree->model());
        for (auto it = m_marks.cbegin(); it != m_marks.cend(); ++it) {
            if (!next.contains(it.key()))
                setMark(it.key(), Mark());
        }
        for (auto it = next.cbegin(); it != next.cend(); ++it) {
            const auto was = m_marks.constFind(it.key());
            if (was == m_marks.cend() || !(*was == *it))
                setMark(it.key(), *it);
        }
        for (const Root &r : roots) {
            const QVariant count = r.items > 0 ? QVariant(r.items) : QVariant();
            widthChanged = widthChanged || r.node->data(0, CountRole) != count;
            Mark m;
            if (r.items > 0) {
                m.level = r.errors > 0 ? 2 : 1;
                m.tip = QStringLiteral("Findings in %1: %2, %3")
                            .arg(plural(r.items, r.one, r.many), plural(r.errors, "error", "errors"),
                                 plural(r.warnings, "warning", "warnings"));
            }
            setMark(r.node, m);
            r.node->setData(0, CountRole, count);
        }
    }
    m_marks = std::move(next);
    // A root's count widens its row, and the column is as wide as the widest row.
    if (widthChanged)
        m_nodes.tree->doItemsLayout();
    m_nodes.tree->viewport()->update();
}

QString FindingsMarker::summary() const
{
    return plural(m_errors, "error", "errors") + QStringLiteral(", ") + plural(m_warnings, "warning", "warnings");
}
