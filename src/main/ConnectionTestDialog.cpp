#include "main/ConnectionTestDialog.h"

#include <QColor>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

namespace {
enum Column { Account, Verdict, Time, FailedStep, Details };
}

ConnectionTestDialog::ConnectionTestDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ConnectionTestDialog"));
    setWindowTitle(QStringLiteral("Test Connections"));
    auto *v = new QVBoxLayout(this);
    lablSummary = new QLabel(this);
    lablSummary->setObjectName(QStringLiteral("lablSummary"));
    v->addWidget(lablSummary);
    tvResults = new QTreeWidget(this);
    tvResults->setObjectName(QStringLiteral("tvResults"));
    tvResults->setRootIsDecorated(false);
    tvResults->setUniformRowHeights(true);
    tvResults->setHeaderLabels({QStringLiteral("Account"), QStringLiteral("Verdict"), QStringLiteral("Time"),
                                QStringLiteral("Failed Step"), QStringLiteral("Details")});
    tvResults->header()->setStretchLastSection(true);
    tvResults->setColumnWidth(Account, 190);
    tvResults->setColumnWidth(Verdict, 120);
    tvResults->setColumnWidth(Time, 60);
    tvResults->setColumnWidth(FailedStep, 80);
    v->addWidget(tvResults, 3);
    memoSteps = new QPlainTextEdit(this);
    memoSteps->setObjectName(QStringLiteral("memoSteps"));
    memoSteps->setReadOnly(true);
    memoSteps->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont fixed(QStringLiteral("Liberation Mono"));
    fixed.setStyleHint(QFont::Monospace);
    fixed.setPixelSize(11);
    memoSteps->setFont(fixed);
    v->addWidget(memoSteps, 2);
    auto *buttons = new QHBoxLayout;
    butnTestAgain = new QPushButton(QStringLiteral("Test Again"), this);
    butnTestAgain->setObjectName(QStringLiteral("butnTestAgain"));
    butnSendTestMessage = new QPushButton(QStringLiteral("Send Test Message"), this);
    butnSendTestMessage->setObjectName(QStringLiteral("butnSendTestMessage"));
    butnSendTestMessage->setToolTip(
        QStringLiteral("Send one test mail through the outgoing mail server to the administrator's address"));
    butnClose = new QPushButton(QStringLiteral("Close"), this);
    butnClose->setObjectName(QStringLiteral("butnClose"));
    buttons->addWidget(butnTestAgain);
    buttons->addWidget(butnSendTestMessage);
    buttons->addStretch(1);
    buttons->addWidget(butnClose);
    v->addLayout(buttons);
    resize(720, 420);

    connect(tvResults, &QTreeWidget::currentItemChanged, this, [this] { showSteps(); });
    connect(tvResults, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem *row) {
        const int i = tvResults->indexOfTopLevelItem(row);
        if (i >= 0 && i < m_targets.size())
            emit targetActivated(int(m_targets[i].kind), m_targets[i].index);
    });
    connect(butnTestAgain, &QPushButton::clicked, this, &ConnectionTestDialog::testAgainRequested);
    connect(butnSendTestMessage, &QPushButton::clicked, this, &ConnectionTestDialog::sendTestMessageRequested);
    connect(butnClose, &QPushButton::clicked, this, &QDialog::close);
}

void ConnectionTestDialog::setTargets(const QList<ConnectionTest::Target> &targets, const QStringList &captions)
{
    m_targets = targets;
    for (ConnectionTest::Target &t : m_targets)
        t.password.clear();
    m_results = QList<ConnectionTest::Result>(targets.size());
    m_done = QList<bool>(targets.size(), false);
    tvResults->clear();
    for (int i = 0; i < int(targets.size()); ++i) {
        auto *row = new QTreeWidgetItem(tvResults);
        row->setText(Account, captions.value(i, targets[i].item));
        row->setToolTip(Account, QStringLiteral("%1 (%2 port %3)").arg(targets[i].item, targets[i].host).arg(targets[i].port));
        row->setText(Verdict, QStringLiteral("testing..."));
    }
    if (tvResults->topLevelItemCount() > 0)
        tvResults->setCurrentItem(tvResults->topLevelItem(0));
    updateSummary();
    showSteps();
}

void ConnectionTestDialog::setResult(int i, const ConnectionTest::Result &r)
{
    if (i < 0 || i >= m_results.size())
        return;
    m_results[i] = r;
    m_done[i] = true;
    QTreeWidgetItem *row = tvResults->topLevelItem(i);
    row->setText(Verdict, ConnectionTest::verdictText(r.verdict, r.kind));
    row->setText(Time, ConnectionTest::secondsText(r.ms));
    row->setText(FailedStep, r.failedStep);
    QStringList details{r.message};
    details.append(r.notes);
    details.removeAll(QString());
    row->setText(Details, details.join(QStringLiteral("; ")));
    row->setToolTip(Details, details.join(QLatin1Char('\n')));
    row->setForeground(Verdict, r.works() ? QColor(0, 110, 0) : QColor(180, 0, 0));
    updateSummary();
    if (tvResults->currentItem() == row)
        showSteps();
}

int ConnectionTestDialog::waiting() const
{
    return int(std::count(m_done.begin(), m_done.end(), false));
}

void ConnectionTestDialog::updateSummary()
{
    int working = 0;
    for (int i = 0; i < int(m_results.size()); ++i)
        working += m_done[i] && m_results[i].works() ? 1 : 0;
    const int done = int(m_results.size()) - waiting();
    QString text = QStringLiteral("%1 of %2 tested: %3 working, %4 not working")
                       .arg(done)
                       .arg(m_results.size())
                       .arg(working)
                       .arg(done - working);
    lablSummary->setText(text);
}

void ConnectionTestDialog::showSteps()
{
    const int i = tvResults->indexOfTopLevelItem(tvResults->currentItem());
    if (i < 0 || i >= m_results.size()) {
        memoSteps->clear();
        return;
    }
    memoSteps->setPlainText(m_done[i] ? ConnectionTest::stepsText(m_results[i])
                                      : QStringLiteral("%1: waiting for the test").arg(m_targets[i].item));
}
