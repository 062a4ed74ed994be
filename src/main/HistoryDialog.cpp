#include "main/HistoryDialog.h"

#include "config/ConfigDiff.h"
#include "config/ConfigDocument.h"
#include "config/TextCodec.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

HistoryDialog::HistoryDialog(const QList<History::Version> &versions, VersionReader reader,
                             const ConfigDocument &current, const TextCodec &codec, QWidget *parent)
    : QDialog(parent), m_versions(versions), m_reader(std::move(reader)), m_current(current), m_codec(codec)
{
    setObjectName(QStringLiteral("HistoryDialog"));
    setWindowTitle(QStringLiteral("History"));

    lstVersions = new QTreeWidget(this);
    lstVersions->setObjectName(QStringLiteral("lstVersions"));
    lstVersions->setRootIsDecorated(false);
    lstVersions->setAllColumnsShowFocus(true);
    lstVersions->setHeaderLabels({QStringLiteral("Saved"), QStringLiteral("By"), QStringLiteral("What changed"),
                                  QStringLiteral("Revision")});
    lstVersions->setToolTip(QStringLiteral("Select a version to see what restoring it would change"));
    for (const History::Version &v : m_versions) {
        auto *row = new QTreeWidgetItem(lstVersions);
        row->setText(0, v.date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        row->setText(1, v.author);
        row->setText(2, v.summary);
        row->setText(3, QString::fromLatin1(v.revision.left(10)));
        row->setToolTip(2, v.summary);
    }
    lstVersions->header()->setStretchLastSection(false);
    lstVersions->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    lstVersions->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lstVersions->header()->setSectionResizeMode(2, QHeaderView::Stretch);
    lstVersions->header()->setSectionResizeMode(3, QHeaderView::ResizeToContents);

    lablSummary = new QLabel(this);
    lablSummary->setObjectName(QStringLiteral("lablSummary"));
    lablSummary->setWordWrap(true);

    lstChanges = new QListWidget(this);
    lstChanges->setObjectName(QStringLiteral("lstChanges"));

    auto *lower = new QWidget(this);
    auto *lowerLayout = new QVBoxLayout(lower);
    lowerLayout->setContentsMargins(0, 0, 0, 0);
    lowerLayout->addWidget(lablSummary);
    lowerLayout->addWidget(lstChanges);
    auto *split = new QSplitter(Qt::Vertical, this);
    split->addWidget(lstVersions);
    split->addWidget(lower);

    buttonBox = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttonBox->setObjectName(QStringLiteral("buttonBox"));
    butnRestore = buttonBox->addButton(QStringLiteral("&Restore"), QDialogButtonBox::AcceptRole);
    butnRestore->setObjectName(QStringLiteral("butnRestore"));
    butnRestore->setToolTip(QStringLiteral("Load the selected version as unsaved changes"));
    butnRestore->setEnabled(false);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(butnRestore, &QPushButton::clicked, this, [this] {
        const int row = lstVersions->indexOfTopLevelItem(lstVersions->currentItem());
        if (row < 0)
            return;
        m_chosen = m_versions.at(row).revision;
        accept();
    });
    connect(lstVersions, &QTreeWidget::currentItemChanged, this, [this] { showVersion(); });

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);
    layout->addWidget(buttonBox);
    resize(720, 480);

    if (m_versions.isEmpty())
        lablSummary->setText(QStringLiteral("No version has been saved yet."));
    else
        lstVersions->setCurrentItem(lstVersions->topLevelItem(0));
}

void HistoryDialog::showVersion()
{
    lstChanges->clear();
    butnRestore->setEnabled(false);
    const int row = lstVersions->indexOfTopLevelItem(lstVersions->currentItem());
    if (row < 0)
        return;
    ConfigDocument version;
    QString error;
    if (!m_reader(m_versions.at(row).revision, &version, &error)) {
        lablSummary->setText(error);
        return;
    }
    // What restoring this version would change in what the window holds.
    const QList<ConfigDiff::Entry> entries = ConfigDiff::compare(m_current, version, m_codec);
    for (const ConfigDiff::Entry &e : entries)
        new QListWidgetItem(ConfigDiff::describe(e, m_codec, true), lstChanges);
    if (entries.isEmpty()) {
        auto *none = new QListWidgetItem(QStringLiteral("No changes"), lstChanges);
        none->setFlags(Qt::NoItemFlags);
        lablSummary->setText(QStringLiteral("This version is what the window holds."));
    } else {
        lablSummary->setText(QStringLiteral("Restoring this version would make %1 change(s):").arg(entries.size()));
    }
    butnRestore->setEnabled(true);
}

QStringList HistoryDialog::changeLines() const
{
    QStringList out;
    for (int i = 0; i < lstChanges->count(); ++i)
        out.append(lstChanges->item(i)->text());
    return out;
}
