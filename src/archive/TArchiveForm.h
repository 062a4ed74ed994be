#pragma once

#include "archive/MsgArchive.h"

#include <QDialog>

class BusyCursor;
class Clock;
class Prompts;
class QButtonGroup;
class QDateEdit;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The message archive dialog: purges a group's messages older than a number of days, or
// dated before a chosen day, from the group's index files. It stays open after a purge so
// Delete can be pressed again; a failed purge shows its error through the prompts.
class TArchiveForm : public QDialog
{
    Q_OBJECT

public:
    // `groupFolder`: the group's data folder (GroupDataFolder::path). The clock gives
    // "today", at open for the date picker and at each Delete for "Older than".
    TArchiveForm(const QString &groupFolder, Clock &clock, Prompts &prompts, QWidget *parent = nullptr);

    // Opens the dialog modally for a group, as "Delete Messages" does; a name that cannot
    // name a folder inside "data" is refused with an error and no dialog.
    static void execForGroup(const QString &programFolder, const QString &groupName, Clock &clock,
                             Prompts &prompts, QWidget *parent = nullptr);

    // The hourglass shown while a purge runs; without one, the application's wait cursor.
    void setBusyCursor(BusyCursor *cursor) { m_cursor = cursor; }

    QString GroupFolder() const { return m_groupFolder; }
    void setGroupFolder(const QString &folder) { m_groupFolder = folder; }

    // 0 "Older than ", 1 "Before date "
    int filterIndex() const;
    void setFilterIndex(int index);
    // The cut-off the current settings give.
    MsgArchive::DateTime cutOff() const;

private slots:
    void butnDeleteClick();

protected:
    void showEvent(QShowEvent *event) override;

private:
    QString m_groupFolder;
    Clock &m_clock;
    Prompts &m_prompts;
    BusyCursor *m_cursor = nullptr;
    bool m_placed = false;

    QGroupBox *rgrpFilter;
    QButtonGroup *m_filterButtons;
    QRadioButton *m_olderThan;
    QRadioButton *m_beforeDate;
    QSpinBox *SpinEdit1;
    QLabel *StaticText1;
    QDateEdit *DateTimePicker1;
    QPushButton *butnDelete;
    QPushButton *butnCancel;
};
