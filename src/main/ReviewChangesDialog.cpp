#include "main/ReviewChangesDialog.h"

#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int KindRole = Qt::UserRole;
constexpr int IndexRole = Qt::UserRole + 1;

// The position in `doc` of the n-th item named `name` (letter case ignored), as the
// comparison pairs them; -1 when there is none.
int positionOf(const ConfigDocument &doc, ItemKeys::Kind kind, const QByteArray &name, const TextCodec &codec,
               QHash<QString, int> &seen)
{
    const QList<int> named = ItemKeys::itemsNamed(doc, kind, name, codec);
    int &nth = seen[ItemKeys::kindWord(kind) + QLatin1Char(':') + codec.decode(name).toCaseFolded()];
    return nth < named.size() ? named.at(nth++) : -1;
}

} // namespace

ReviewChangesDialog::ReviewChangesDialog(const ConfigDocument &from, const ConfigDocument &to, const TextCodec &codec,
                                         Buttons buttons, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("ReviewChangesDialog"));
    setWindowTitle(buttons == Buttons::Close ? QStringLiteral("Review Changes") : QStringLiteral("Restore Backup"));

    lablSummary = new QLabel(this);
    lablSummary->setObjectName(QStringLiteral("lablSummary"));
    lablSummary->setWordWrap(true);

    lstChanges = new QListWidget(this);
    lstChanges->setObjectName(QStringLiteral("lstChanges"));
    lstChanges->setSelectionMode(QAbstractItemView::SingleSelection);
    lstChanges->setToolTip(QStringLiteral("Double-click a change to select its item"));
    lstChanges->setStatusTip(lstChanges->toolTip());
    connect(lstChanges, &QListWidget::itemActivated, this, &ReviewChangesDialog::activate);

    const QList<ConfigDiff::Entry> entries = ConfigDiff::compare(from, to, codec);
    QHash<QString, int> seenKept;
    QString lastChanged; // the keys of one item come together: one position for all of them
    int lastIndex = -1;
    for (const ConfigDiff::Entry &e : entries) {
        auto *row = new QListWidgetItem(ConfigDiff::describe(e, codec, true), lstChanges);
        int index = -1;
        if (e.kind != ItemKeys::Kind::Server && e.type != ConfigDiff::Entry::Type::Removed) {
            const QString id = ItemKeys::kindWord(e.kind) + QLatin1Char(':') + codec.decode(e.name).toCaseFolded();
            if (e.type == ConfigDiff::Entry::Type::Changed && id == lastChanged) {
                index = lastIndex;
            } else {
                index = positionOf(to, e.kind, e.name, codec, seenKept);
                lastChanged = e.type == ConfigDiff::Entry::Type::Changed ? id : QString();
                lastIndex = index;
            }
        }
        row->setData(KindRole, int(e.kind));
        row->setData(IndexRole, index);
    }
    if (entries.isEmpty()) {
        auto *row = new QListWidgetItem(QStringLiteral("No changes"), lstChanges);
        row->setFlags(Qt::NoItemFlags);
        lablSummary->setText(QStringLiteral("No changes."));
    } else {
        lablSummary->setText(QStringLiteral("%1 change(s). Double-click a change to select its item.")
                                 .arg(entries.size()));
        lstChanges->setCurrentRow(0);
    }

    buttonBox = new QDialogButtonBox(buttons == Buttons::Close ? QDialogButtonBox::Close
                                                               : QDialogButtonBox::Ok | QDialogButtonBox::Cancel,
                                     this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    connect(buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lablSummary);
    layout->addWidget(lstChanges, 1);
    layout->addWidget(buttonBox);
    resize(620, 340);
}

QStringList ReviewChangesDialog::lines() const
{
    QStringList out;
    for (int i = 0; i < lstChanges->count(); ++i)
        out.append(lstChanges->item(i)->text());
    return out;
}

void ReviewChangesDialog::activate(QListWidgetItem *row)
{
    if (!row || !(row->flags() & Qt::ItemIsEnabled))
        return;
    emit itemChosen(ItemKeys::Kind(row->data(KindRole).toInt()), row->data(IndexRole).toInt());
}
