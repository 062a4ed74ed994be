#include "main/TreeFilter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QTimer>
#include <QTreeWidget>

TreeFilter::TreeFilter(QTreeWidget *tree, QLineEdit *edit, QObject *parent)
    : QObject(parent)
    , m_tree(tree)
    , m_edit(edit)
{
    m_edit->setPlaceholderText(QStringLiteral("Filter"));
    m_edit->setClearButtonEnabled(true);
    m_edit->installEventFilter(this);
    connect(m_edit, &QLineEdit::textChanged, this, &TreeFilter::apply);
    // Whoever had the focus before the filter line is who gets it back on Esc.
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *now) {
        if (now == m_edit && old && old != m_edit && old->window() == m_edit->window())
            m_returnFocus = old;
    });
    // Items added or deleted while a text is given change the counts.
    auto structureChanged = [this]() {
        m_rowsChanged = true;
        if (!isActive() || m_recountQueued)
            return;
        m_recountQueued = true;
        QTimer::singleShot(0, this, [this]() {
            m_recountQueued = false;
            recount();
        });
    };
    connect(m_tree->model(), &QAbstractItemModel::rowsInserted, this, structureChanged);
    connect(m_tree->model(), &QAbstractItemModel::rowsRemoved, this, structureChanged);
}

void TreeFilter::setBranches(const QList<Branch> &branches)
{
    m_branches = branches;
    m_states.assign(size_t(branches.size()), State());
}

void TreeFilter::sync(const Branch &branch, State &state)
{
    const int n = branch.root->childCount();
    bool same = !m_rowsChanged && size_t(n) == state.nodes.size();
    for (int i = 0; same && i < n; ++i)
        same = state.nodes[size_t(i)] == branch.root->child(i);
    if (same)
        return;
    // Rows came or went: take the children afresh, and whether each is in view from the tree.
    const QModelIndex parent = m_tree->model()->index(m_tree->indexOfTopLevelItem(branch.root), 0);
    state.nodes.resize(size_t(n));
    state.hidden.assign(size_t(n), 0);
    state.shown = 0;
    for (int i = 0; i < n; ++i) {
        state.nodes[size_t(i)] = branch.root->child(i);
        state.hidden[size_t(i)] = m_tree->isRowHidden(i, parent) ? 1 : 0;
        state.shown += state.hidden[size_t(i)] ? 0 : 1;
    }
}

void TreeFilter::setHidden(State &state, size_t row, bool hide)
{
    QTreeWidgetItem *node = state.nodes[row];
    const QModelIndex parent = m_tree->model()->index(m_tree->indexOfTopLevelItem(node->parent()), 0);
    m_tree->setRowHidden(int(row), parent, hide);
    state.hidden[row] = hide ? 1 : 0;
    state.shown += hide ? -1 : 1;
}

void TreeFilter::apply(const QString &text)
{
    // A text that contains the previous one can only match nodes that matched before.
    const bool narrowing = !m_text.isEmpty() && text.contains(m_text, Qt::CaseInsensitive);
    m_text = text;
    syncAll();
    for (qsizetype b = 0; b < m_branches.size(); ++b) {
        const Branch &branch = m_branches.at(b);
        State &state = m_states[size_t(b)];
        const QModelIndex parent = m_tree->model()->index(m_tree->indexOfTopLevelItem(branch.root), 0);
        const size_t n = state.nodes.size();
        for (size_t row = 0; row < n; ++row) {
            const bool hidden = state.hidden[row];
            if (narrowing && hidden)
                continue;
            const bool match = text.isEmpty() || state.nodes[row]->text(0).contains(text, Qt::CaseInsensitive);
            if (match == !hidden)
                continue;
            m_tree->setRowHidden(int(row), parent, !match);
            state.hidden[row] = match ? 0 : 1;
            state.shown += match ? 1 : -1;
        }
        // The matches stand open below their root; a root without any stays closed.
        if (isActive() && branch.root->isExpanded() != (state.shown > 0))
            branch.root->setExpanded(state.shown > 0);
    }
    if (!isActive())
        emit cleared();
    emit summaryChanged(summary());
}

void TreeFilter::syncAll()
{
    for (qsizetype b = 0; b < m_branches.size(); ++b)
        sync(m_branches.at(b), m_states[size_t(b)]);
    m_rowsChanged = false;
}

void TreeFilter::recount()
{
    syncAll();
    emit summaryChanged(summary());
}

QString TreeFilter::summary() const
{
    if (!isActive())
        return {};
    const QLocale numbers(QLocale::English, QLocale::UnitedStates); // 10,000
    QStringList parts;
    for (qsizetype b = 0; b < m_branches.size(); ++b) {
        const Branch &branch = m_branches.at(b);
        const int total = branch.root->childCount();
        if (total == 0 && !branch.countedWhenEmpty)
            continue;
        parts.append(QStringLiteral("%1 of %2 %3")
                         .arg(numbers.toString(m_states[size_t(b)].shown), numbers.toString(total),
                              total == 1 ? branch.singular : branch.plural));
    }
    return parts.join(QStringLiteral(", "));
}

QTreeWidgetItem *TreeFilter::firstMatch() const
{
    for (qsizetype b = 0; b < m_branches.size(); ++b) {
        const State &state = m_states[size_t(b)];
        for (size_t row = 0; row < state.nodes.size(); ++row) {
            if (!state.hidden[row])
                return state.nodes[row];
        }
    }
    return nullptr;
}

void TreeFilter::reveal(QTreeWidgetItem *node)
{
    if (!isActive() || !node)
        return;
    for (qsizetype b = 0; b < m_branches.size(); ++b) {
        if (node->parent() != m_branches.at(b).root)
            continue;
        syncAll();
        State &state = m_states[size_t(b)];
        const int row = node->parent()->indexOfChild(node);
        if (row >= 0 && state.hidden[size_t(row)]) {
            setHidden(state, size_t(row), false);
            emit summaryChanged(summary());
        }
    }
}

void TreeFilter::focusFilter()
{
    m_edit->setFocus(Qt::ShortcutFocusReason);
    m_edit->selectAll();
}

void TreeFilter::giveFocusBack()
{
    QWidget *back = m_returnFocus;
    if (!back || !back->isVisible() || !back->isEnabled())
        back = m_tree;
    back->setFocus(Qt::OtherFocusReason);
}

bool TreeFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_edit && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            m_edit->clear();
            giveFocusBack();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && isActive()) {
            emit matchChosen(firstMatch());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
