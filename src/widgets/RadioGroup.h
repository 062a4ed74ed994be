#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;
class QGridLayout;
class QRadioButton;

// A framed group of radio buttons chosen by index, -1 for none. `clicked` follows a
// choice made with the mouse or the keyboard; setting the index from code emits nothing.
class RadioGroup : public QGroupBox
{
    Q_OBJECT

public:
    RadioGroup(const QString &caption, const QStringList &items, QWidget *parent = nullptr);

    int itemIndex() const;
    void setItemIndex(int index);
    QRadioButton *button(int index) const;
    // The grid the buttons stand in (column 0), for controls placed beside an item.
    QGridLayout *grid() const { return m_grid; }

signals:
    void clicked();

private:
    QButtonGroup *m_group;
    QGridLayout *m_grid;
};
