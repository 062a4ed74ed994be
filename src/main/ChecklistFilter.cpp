#include "main/ChecklistFilter.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>

ChecklistFilter::ChecklistFilter(QListWidget *list, const QString &names, QWidget *parent)
    : QWidget(parent)
    , editFilter(new QLineEdit(this))
    , chkbCheckedOnly(new QCheckBox(QStringLiteral("Show checked only"), this))
    , m_list(list)
{
    setObjectName(QStringLiteral("filter") + names);
    editFilter->setObjectName(QStringLiteral("edit") + names + QStringLiteral("Filter"));
    editFilter->setPlaceholderText(QStringLiteral("Filter"));
    editFilter->setClearButtonEnabled(true);
    editFilter->installEventFilter(this);
    chkbCheckedOnly->setObjectName(QStringLiteral("chkb") + names + QStringLiteral("CheckedOnly"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(editFilter, 1);
    row->addWidget(chkbCheckedOnly);
    connect(editFilter, &QLineEdit::textChanged, this, &ChecklistFilter::apply);
    connect(chkbCheckedOnly, &QCheckBox::toggled, this, &ChecklistFilter::apply);
    // A list filled afresh shows all its entries.
    auto forget = [this]() { m_hidden.clear(); };
    connect(m_list->model(), &QAbstractItemModel::modelReset, this, forget);
    connect(m_list->model(), &QAbstractItemModel::rowsInserted, this, forget);
    connect(m_list->model(), &QAbstractItemModel::rowsRemoved, this, forget);
}

void ChecklistFilter::apply()
{
    const int n = m_list->count();
    if (m_hidden.size() != size_t(n)) {
        m_hidden.assign(size_t(n), 0);
        for (int row = 0; row < n; ++row)
            m_hidden[size_t(row)] = m_list->isRowHidden(row) ? 1 : 0;
    }
    const QString text = editFilter->text();
    const bool checkedOnly = chkbCheckedOnly->isChecked();
    if (text.isEmpty() && !checkedOnly && std::find(m_hidden.begin(), m_hidden.end(), 1) == m_hidden.end())
        return; // nothing hidden, nothing to hide
    for (int row = 0; row < n; ++row) {
        const QListWidgetItem *entry = m_list->item(row);
        const bool show = (!checkedOnly || entry->checkState() == Qt::Checked)
                          && (text.isEmpty() || entry->text().contains(text, Qt::CaseInsensitive));
        if (bool(m_hidden[size_t(row)]) == !show)
            continue;
        m_list->setRowHidden(row, !show);
        m_hidden[size_t(row)] = show ? 0 : 1;
    }
}

bool ChecklistFilter::eventFilter(QObject *watched, QEvent *event)
{
    // Esc empties the line; a second Esc has nothing left to do and goes on as usual.
    if (watched == editFilter && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && !editFilter->text().isEmpty()) {
            editFilter->clear();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
