#include "main/FindingsMarker.h"

#include "main/NavTree.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <limits>

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

qint64 sliceNs()
{
    return qint64(FindingsMarker::SliceMs) * 1000000;
}

double msOf(qint64 ns)
{
    return double(ns) / 1e6;
}

// Copies the items of `root` from where the last slice stopped, until all are copied (true)
// or the slice's time or its number of items is up (false).
template <typename T>
bool copySome(NavNode *root, std::vector<T> &items, std::vector<NavNode *> &nodes, T *(NavNode::*item)() const,
              const QElapsedTimer &slice, int &budget)
{
    const size_t n = size_t(root->childCount());
    if (items.capacity() < n) {
        items.reserve(n);
        nodes.reserve(n);
    }
    while (items.size() < n) {
        if (budget <= 0 || (items.size() % 32 == 0 && slice.nsecsElapsed() > sliceNs()))
            return false;
        auto *node = static_cast<NavNode *>(root->child(int(items.size())));
        nodes.push_back(node);
        const T *it = (node->*item)();
        items.push_back(it ? *it : T());
        --budget;
    }
    return true;
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
    m_slice.setSingleShot(true);
    m_slice.setInterval(0);
    connect(&m_slice, &QTimer::timeout, this, &FindingsMarker::step);
    m_sinceEdit.start();

    // Items that come or go, and captions that change, are edits too; a node that goes
    // takes its mark with it.
    const QAbstractItemModel *model = m_nodes.tree->model();
    connect(model, &QAbstractItemModel::rowsInserted, this, [this]() { schedule(); });
    connect(model, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                const QAbstractItemModel *m = m_nodes.tree->model();
                for (int row = first; row <= last; ++row) {
                    NavNode *node = m_nodes.tree->nodeFromIndex(m->index(row, 0, parent));
                    // (Asked first: removing from a hash the check's copy shares copies it
                    // even when the node has no mark.)
                    if (m_marks.contains(node))
                        m_marks.remove(node);
                    // A marking under way leaves it alone.
                    if (m_stage == Stage::Marking)
                        m_gone.insert(node);
                }
                schedule();
            });
    connect(model, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &, const QModelIndex &, const QList<int> &roles) {
                if (roles.isEmpty() || roles.contains(Qt::DisplayRole))
                    schedule();
            });
}

// The copy the check reads: the items and the nodes that hold them, by kind and position,
// and the marks on the tree as the copy began. Filled on the window's thread, then read
// only by the check's.
struct FindingsMarker::Snapshot
{
    quint64 generation = 0;
    ServerState state;
    std::vector<TPop> pops;
    std::vector<TUser> users;
    std::vector<TGroup> groups;
    std::vector<NavNode *> popNodes, userNodes, groupNodes;
    QHash<NavNode *, Mark> marks;
    TextCodec codec;
};

// What the check's thread hands the window's: the findings and what they make of the tree.
// The nodes are only named here; only the window's thread looks into them.
struct FindingsMarker::Result
{
    quint64 generation = 0;
    QList<CheckFinding> findings;
    int errors = 0, warnings = 0;
    QHash<NavNode *, Mark> marks;                    // every node's mark after this result
    std::vector<std::pair<NavNode *, Mark>> changes; // the nodes whose marks change
    size_t applied = 0;                              // of the changes, set so far
    struct Root
    {
        NavNode *node = nullptr;
        Mark mark;
        int items = 0;
    };
    Root roots[3];
    double checkMs = 0, marksMs = 0;
};

FindingsMarker::~FindingsMarker()
{
    if (m_worker.joinable())
        m_worker.join();
    if (m_sweeper.joinable())
        m_sweeper.join();
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
    if (m_stage != Stage::Idle) {
        m_runAgain = true;
        return;
    }
    if (m_worker.joinable())
        m_worker.join();
    m_timings = Timings();
    m_snapshot = std::make_shared<Snapshot>();
    m_snapshot->generation = m_generation;
    m_snapshot->state = m_serverState();
    m_snapshot->marks = m_marks;
    m_snapshot->codec = m_codec;
    m_stage = Stage::Copying;
    step();
}

void FindingsMarker::step()
{
    if (m_stage == Stage::Copying) {
        if (copySlice())
            startCheck();
        else if (m_stage == Stage::Copying)
            m_slice.start();
    } else if (m_stage == Stage::Marking) {
        if (markSlice())
            finishMarking();
        else
            m_slice.start();
    }
}

bool FindingsMarker::copySlice()
{
    // An edit since the copy began: what is copied may be out of date, and nodes may have
    // gone. The edit's own check follows once the edits pause.
    if (m_snapshot->generation != m_generation) {
        m_trash.push_back(std::move(m_snapshot));
        done();
        return false;
    }
    QElapsedTimer slice;
    slice.start();
    Snapshot &s = *m_snapshot;
    int budget = m_sliceLimit > 0 ? m_sliceLimit : std::numeric_limits<int>::max();
    const bool all = copySome<TPop>(m_nodes.incoming, s.pops, s.popNodes, &NavNode::pop, slice, budget) &&
                     copySome<TUser>(m_nodes.users, s.users, s.userNodes, &NavNode::user, slice, budget) &&
                     copySome<TGroup>(m_nodes.groups, s.groups, s.groupNodes, &NavNode::group, slice, budget);
    const double ms = msOf(slice.nsecsElapsed());
    m_timings.copyMs += ms;
    m_timings.copySliceMs = qMax(m_timings.copySliceMs, ms);
    ++m_timings.copySlices;
    return all;
}

void FindingsMarker::startCheck()
{
    m_stage = Stage::Checking;
    std::shared_ptr<Snapshot> snapshot = std::move(m_snapshot);
    // What earlier runs left behind goes in the check's thread, not the window's.
    std::vector<std::shared_ptr<void>> trash = std::move(m_trash);
    m_trash.clear();
    m_worker = std::thread([this, snapshot = std::move(snapshot), trash = std::move(trash), nodes = m_nodes]() mutable {
        trash.clear();
        auto result = std::make_shared<Result>();
        result->generation = snapshot->generation;
        QElapsedTimer clock;
        clock.start();
        result->findings = ConfigCheck::run(snapshot->state.server, snapshot->state.oldFormat,
                                            views(snapshot->pops), views(snapshot->users), views(snapshot->groups),
                                            snapshot->codec);
        result->checkMs = msOf(clock.nsecsElapsed());
        clock.restart();
        workOutMarks(*snapshot, nodes, *result);
        result->marksMs = msOf(clock.nsecsElapsed());
        snapshot.reset(); // the copy goes here too
        // The call hands its reference on, so none is left to free the result here.
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)]() mutable { finished(std::move(result)); }, Qt::QueuedConnection);
    });
}

// The marks the findings make: each node's worst level and its findings' lines, the roots'
// counts of items with findings, and which nodes' marks differ from those on the tree.
void FindingsMarker::workOutMarks(const Snapshot &s, const Nodes &nodes, Result &r)
{
    auto nodeOf = [&](const CheckFinding &f) -> NavNode * {
        const std::vector<NavNode *> *list = nullptr;
        switch (f.kind) {
        case CheckFinding::Kind::Server: return nodes.general;
        case CheckFinding::Kind::Pop: list = &s.popNodes; break;
        case CheckFinding::Kind::User: list = &s.userNodes; break;
        case CheckFinding::Kind::Group: list = &s.groupNodes; break;
        }
        return list && f.index >= 0 && size_t(f.index) < list->size() ? (*list)[size_t(f.index)] : nullptr;
    };
    struct Root
    {
        NavNode *node;
        const char *one, *many;
        int items = 0, errors = 0, warnings = 0;
    };
    Root roots[] = {{nodes.incoming, "account", "accounts"}, {nodes.users, "user", "users"},
                    {nodes.groups, "group", "groups"}};
    auto rootOf = [&roots](const CheckFinding &f) -> Root * {
        switch (f.kind) {
        case CheckFinding::Kind::Pop: return &roots[0];
        case CheckFinding::Kind::User: return &roots[1];
        case CheckFinding::Kind::Group: return &roots[2];
        case CheckFinding::Kind::Server: break;
        }
        return nullptr;
    };

    QHash<NavNode *, Mark> &next = r.marks;
    auto add = [&next](NavNode *node, const CheckFinding &f) -> bool {
        if (!node)
            return false;
        const qsizetype before = next.size();
        Mark &m = next[node];
        m.level = qMax(m.level, f.level == CheckFinding::Level::Error ? 2 : 1);
        if (!m.tip.isEmpty())
            m.tip += QLatin1Char('\n');
        m.tip += f.levelText() + QLatin1Char(' ') + f.code + QStringLiteral(": ") + f.message;
        return next.size() != before;
    };
    for (const CheckFinding &f : r.findings) {
        const bool error = f.level == CheckFinding::Level::Error;
        (error ? r.errors : r.warnings)++;
        const bool newNode = add(nodeOf(f), f);
        if (Root *root = rootOf(f)) {
            (error ? root->errors : root->warnings)++;
            if (newNode)
                ++root->items;
        }
        // Port is on the General page, ConfigPort on the Advanced one.
        if (f.kind == CheckFinding::Kind::Server && f.code == QLatin1String("port-conflict"))
            add(nodes.advanced, f);
    }

    for (auto it = s.marks.cbegin(); it != s.marks.cend(); ++it) {
        if (!next.contains(it.key()))
            r.changes.emplace_back(it.key(), Mark());
    }
    for (auto it = next.cbegin(); it != next.cend(); ++it) {
        const auto was = s.marks.constFind(it.key());
        if (was == s.marks.cend() || !(*was == *it))
            r.changes.emplace_back(it.key(), *it);
    }

    for (int i = 0; i < 3; ++i) {
        const Root &root = roots[i];
        Result::Root &out = r.roots[i];
        out.node = root.node;
        out.items = root.items;
        if (root.items > 0) {
            out.mark.level = root.errors > 0 ? 2 : 1;
            out.mark.tip = QStringLiteral("Findings in %1: %2, %3")
                               .arg(plural(root.items, root.one, root.many), plural(root.errors, "error", "errors"),
                                    plural(root.warnings, "warning", "warnings"));
        }
    }
}

void FindingsMarker::finished(std::shared_ptr<Result> result)
{
    // The check's thread is ending; it is joined when the next run starts, as waiting for it
    // here could hold the window until that thread is scheduled again.
    m_timings.checkMs = result->checkMs;
    m_timings.marksMs = result->marksMs;
    // An edit since the copy was taken: its own run follows, and this result is out of date.
    if (result->generation != m_generation) {
        m_trash.push_back(std::move(result));
        done();
        return;
    }
    m_result = std::move(result);
    m_gone.clear();
    m_stage = Stage::Marking;
    step();
}

bool FindingsMarker::markSlice()
{
    QElapsedTimer slice;
    slice.start();
    Result &r = *m_result;
    int budget = m_sliceLimit > 0 ? m_sliceLimit : std::numeric_limits<int>::max();
    {
        // Quietly: the marks change no item and no layout; the tree is repainted when the
        // marking is done.
        const QSignalBlocker quiet(m_nodes.tree->model());
        while (r.applied < r.changes.size()) {
            const auto &[node, mark] = r.changes[r.applied++];
            if (m_gone.isEmpty() || !m_gone.contains(node))
                setMark(node, mark);
            if (--budget <= 0 || (r.applied % 64 == 0 && slice.nsecsElapsed() > sliceNs()))
                break;
        }
    }
    const double ms = msOf(slice.nsecsElapsed());
    m_timings.markMs += ms;
    m_timings.markSliceMs = qMax(m_timings.markSliceMs, ms);
    ++m_timings.markSlices;
    return r.applied == r.changes.size();
}

void FindingsMarker::finishMarking()
{
    QElapsedTimer clock;
    clock.start();
    std::shared_ptr<Result> result = std::move(m_result);
    Result &r = *result;
    // A root's count widens its row, and the column is as wide as the widest row (or the
    // view): the rows are laid out again only when a root whose count changes is, or
    // becomes, as wide as the column, since laying out a large open branch takes a while.
    NavTree *tree = m_nodes.tree;
    const int column = tree->header()->sectionSize(0) - tree->indentation();
    auto rowWidth = [tree](NavNode *root) {
        return tree->sizeHintForIndex(tree->model()->index(tree->indexOfTopLevelItem(root), 0)).width();
    };
    bool widthChanged = false;
    {
        const QSignalBlocker quiet(tree->model());
        for (const Result::Root &root : r.roots) {
            const QVariant count = root.items > 0 ? QVariant(root.items) : QVariant();
            const bool changes = root.node->data(0, CountRole) != count;
            const int before = changes ? rowWidth(root.node) : 0;
            setMark(root.node, root.mark);
            root.node->setData(0, CountRole, count);
            widthChanged = widthChanged || (changes && qMax(before, rowWidth(root.node)) >= column);
        }
    }
    // The marks and findings of before are freed in the check's thread.
    auto old = std::make_shared<std::pair<QHash<NavNode *, Mark>, QList<CheckFinding>>>(std::move(m_marks),
                                                                                           std::move(m_findings));
    m_trash.push_back(std::move(old));
    m_trash.push_back(std::move(result));
    m_marks = std::move(r.marks);
    for (NavNode *node : std::as_const(m_gone))
        m_marks.remove(node);
    m_gone.clear();
    m_findings = std::move(r.findings);
    m_errors = r.errors;
    m_warnings = r.warnings;
    if (widthChanged) {
        QElapsedTimer layout;
        layout.start();
        tree->doItemsLayout();
        m_timings.layoutMs = msOf(layout.nsecsElapsed());
    }
    m_nodes.tree->viewport()->update();
    const double ms = msOf(clock.nsecsElapsed());
    m_timings.markMs += ms;
    m_timings.markSliceMs = qMax(m_timings.markSliceMs, ms);
    m_haveResult = true;
    m_stage = Stage::Idle;
    emit marked();
    done();
}

// The run is over; one asked for meanwhile starts now.
void FindingsMarker::done()
{
    m_stage = Stage::Idle;
    if (m_runAgain) {
        m_runAgain = false;
        runNow();
    }
    // With no run to take them, what the last one left is freed in a thread of its own
    // rather than kept until the next edit.
    if (m_stage == Stage::Idle && !m_trash.empty()) {
        if (m_sweeper.joinable())
            m_sweeper.join();
        m_sweeper = std::thread([trash = std::move(m_trash)]() mutable { trash.clear(); });
        m_trash.clear();
    }
}

void FindingsMarker::setMark(NavNode *node, const Mark &mark)
{
    node->setData(0, LevelRole, mark.level == 0 ? QVariant() : QVariant(mark.level));
    node->setData(0, Qt::ToolTipRole, mark.tip.isEmpty() ? QVariant() : QVariant(mark.tip));
}

QString FindingsMarker::summary() const
{
    return plural(m_errors, "error", "errors") + QStringLiteral(", ") + plural(m_warnings, "warning", "warnings");
}
