// The filter line above the tree (Ctrl+F), and the consistency check's findings on the
// tree with their count in the status bar. Neither is an edit: nothing here changes an
// item or marks the configuration changed.
#include "main/TMainForm.h"

#include "config/AppIdentity.h"
#include "main/FindingsMarker.h"
#include "main/NavTree.h"
#include "main/TreeFilter.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolButton>

void TMainForm::setupFilterAndFindings()
{
    m_treeFilter = new TreeFilter(tvNav, editTreeFilter, this);
    m_treeFilter->setBranches({{nodeIncoming, QStringLiteral("account"), QStringLiteral("accounts"), false},
                               {nodeUsers, QStringLiteral("user"), QStringLiteral("users")},
                               {nodeGroups, QStringLiteral("group"), QStringLiteral("groups")}});
    lablTreeFilter = new QLabel(StatusBar1);
    lablTreeFilter->setObjectName(QStringLiteral("lablTreeFilter"));
    lablTreeFilter->hide();
    StatusBar1->addPermanentWidget(lablTreeFilter);
    connect(m_treeFilter, &TreeFilter::summaryChanged, this, [this](const QString &summary) {
        lablTreeFilter->setText(summary);
        lablTreeFilter->setVisible(!summary.isEmpty());
    });
    connect(m_treeFilter, &TreeFilter::matchChosen, this, [this](QTreeWidgetItem *node) {
        if (!node)
            return;
        tvNav->setCurrentItem(node);
        tvNav->scrollToItem(node);
        tvNav->setFocus(Qt::OtherFocusReason);
    });
    // Without a text the tree is as the selection leaves it: only the selected branch open.
    connect(m_treeFilter, &TreeFilter::cleared, this, [this]() { openTreeBranchOf(tvNav->currentItem()); });
    // The selected node is in view, filtered or not (a node just added, the one that takes
    // the selection after a Delete, an item a finding or a change chose). The tree scrolls to
    // a new current node before this runs, while a node the filter hid has no row yet; once
    // it is revealed (and its branch open) it is scrolled to.
    connect(tvNav, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *now) {
        if (!now || !m_treeFilter->isActive())
            return;
        m_treeFilter->reveal(now);
        tvNav->scrollToItem(now);
    });

    // Ctrl+F: the Log View page keeps it for its own find bar.
    actnTreeFilter = new QAction(QStringLiteral("Filter"), this);
    actnTreeFilter->setObjectName(QStringLiteral("actnTreeFilter"));
    actnTreeFilter->setShortcut(QKeySequence::Find);
    actnTreeFilter->setShortcutContext(Qt::WindowShortcut);
    addAction(actnTreeFilter);
    connect(actnTreeFilter, &QAction::triggered, m_treeFilter, &TreeFilter::focusFilter);
    connect(pctrlMain, &QTabWidget::currentChanged, this,
            [this]() { actnTreeFilter->setEnabled(pctrlMain->currentWidget() != tabsLogView); });

    FindingsMarker::Nodes nodes;
    nodes.tree = tvNav;
    nodes.general = nodeGeneral;
    nodes.advanced = nodeAdvanced;
    nodes.incoming = nodeIncoming;
    nodes.users = nodeUsers;
    nodes.groups = nodeGroups;
    m_findingsMarker = new FindingsMarker(
        nodes,
        [this]() {
            FindingsMarker::ServerState state;
            state.server = serverSettingsFromPages();
            // The format is the file's until a save has written the current one.
            state.server.Version = m_server.Version;
            state.oldFormat = OldFormat && m_server.Version != QByteArray(AppIdentity::AppVersion);
            return state;
        },
        m_codec, this);
    butnFindings = new QToolButton(StatusBar1);
    butnFindings->setObjectName(QStringLiteral("butnFindings"));
    butnFindings->setAutoRaise(true);
    butnFindings->setFocusPolicy(Qt::NoFocus);
    butnFindings->setToolTip(QStringLiteral("Open Check Configuration"));
    butnFindings->setStatusTip(QStringLiteral("Open Check Configuration"));
    butnFindings->hide(); // until the first check has run
    StatusBar1->addPermanentWidget(butnFindings);
    connect(m_findingsMarker, &FindingsMarker::marked, this, [this]() {
        butnFindings->setText(m_findingsMarker->summary());
        QPalette p = butnFindings->palette();
        p.setColor(QPalette::ButtonText, m_findingsMarker->errorCount() > 0 ? QColor(180, 20, 20)
                                                                             : palette().color(QPalette::WindowText));
        butnFindings->setPalette(p);
        butnFindings->show();
    });
    connect(butnFindings, &QToolButton::clicked, actnCheck, &QAction::trigger);
    // A save writes the current format: the old format's finding goes.
    connect(actnSave, &QAction::triggered, m_findingsMarker, &FindingsMarker::schedule);
}

void TMainForm::openTreeBranchOf(QTreeWidgetItem *node)
{
    for (int i = 0; i < tvNav->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = tvNav->topLevelItem(i);
        if (top->childCount() == 0)
            continue;
        bool onPath = false;
        for (QTreeWidgetItem *n = node; n && !onPath; n = n->parent())
            onPath = (n == top);
        top->setExpanded(onPath);
    }
    if (node)
        tvNav->scrollToItem(node);
}
