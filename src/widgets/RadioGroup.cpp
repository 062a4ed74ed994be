#include "widgets/RadioGroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

RadioGroup::RadioGroup(const QString &caption, const QStringList &items, QWidget *parent)
    : QGroupBox(caption, parent)
    , m_group(new QButtonGroup(this))
    , m_grid(new QGridLayout(this))
{
    m_grid->setContentsMargins(8, 4, 8, 6);
    m_grid->setVerticalSpacing(4);
    for (int i = 0; i < items.size(); ++i) {
        auto *b = new QRadioButton(items.at(i), this);
        m_group->addButton(b, i);
        m_grid->addWidget(b, i, 0);
    }
    m_grid->setColumnStretch(m_grid->columnCount(), 1);
    connect(m_group, &QButtonGroup::idClicked, this, [this]() { emit clicked(); });
}

int RadioGroup::itemIndex() const
{
    return m_group->checkedId();
}

void RadioGroup::setItemIndex(int index)
{
    if (index == itemIndex())
        return;
    if (QAbstractButton *b = m_group->button(index)) {
        b->setChecked(true);
        return;
    }
    // An exclusive group cannot uncheck its last button; "none" needs it lifted briefly.
    m_group->setExclusive(false);
    for (QAbstractButton *b : m_group->buttons())
        b->setChecked(false);
    m_group->setExclusive(true);
}

QRadioButton *RadioGroup::button(int index) const
{
    return qobject_cast<QRadioButton *>(m_group->button(index));
}
