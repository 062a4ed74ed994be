#pragma once

#include "config/ConfigDiff.h"

#include <QDialog>
#include <QList>

class ConfigDocument;
class QDialogButtonBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class TextCodec;

// What would change from one configuration to another, one change a row, in the words of
// `quilmora-config diff` (passwords only as "(changed)"). Double-clicking a row (or Enter
// on it) asks for its item to be selected. As a review it has Close; before a change is
// taken (a backup restored) it has OK and Cancel.
class ReviewChangesDialog : public QDialog
{
    Q_OBJECT

public:
    enum class Buttons { Close, OkCancel };

    ReviewChangesDialog(const ConfigDocument &from, const ConfigDocument &to, const TextCodec &codec,
                        Buttons buttons, QWidget *parent = nullptr);

    // The rows as shown ("No changes" alone when there are none).
    QStringList lines() const;

    QLabel *lablSummary = nullptr;
    QListWidget *lstChanges = nullptr;
    QDialogButtonBox *buttonBox = nullptr;

signals:
    // An item of `to` (its position among its kind); the server with index -1. A removed
    // item has no position: its kind comes with -1.
    void itemChosen(ItemKeys::Kind kind, int index);

private:
    void activate(QListWidgetItem *row);
};
