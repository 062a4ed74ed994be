#include "main/CheckResultsDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

CheckResultsDialog::CheckResultsDialog(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("CheckResultsDialog"));
    setWindowTitle(QStringLiteral("Check Configuration"));
    setModal(false);

    lablSummary = new QLabel(this);
    lablSummary->setObjectName(QStringLiteral("lablSummary"));
    lablSummary->setWordWrap(true);

    lstFindings = new QListWidget(this);
    lstFindings->setObjectName(QStringLiteral("lstFindings"));
    lstFindings->setSelectionMode(QAbstractItemView::SingleSelection);
    lstFindings->setToolTip(QStringLiteral("Double-click a finding to select its item"));
    lstFindings->setStatusTip(lstFindings->toolTip());
    connect(lstFindings, &QListWidget::itemActivated, this, &CheckResultsDialog::activate);

    butnCheckAgain = new QPushButton(QStringLiteral("Check &Again"), this);
    butnCheckAgain->setObjectName(QStringLiteral("butnCheckAgain"));
    butnCheckAgain->setAutoDefault(false);
    connect(butnCheckAgain, &QPushButton::clicked, this, &CheckResultsDialog::checkAgainRequested);
    butnClose = new QPushButton(QStringLiteral("Close"), this);
    butnClose->setObjectName(QStringLiteral("butnClose"));
    butnClose->setAutoDefault(false);
    connect(butnClose, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(butnCheckAgain);
    buttons->addWidget(butnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(lablSummary);
    layout->addWidget(lstFindings, 1);
    layout->addLayout(buttons);
    resize(620, 320);
}

void CheckResultsDialog::setFindings(const QList<CheckFinding> &findings, const QStringList &captions)
{
    m_findings = findings;
    lstFindings->clear();
    int errors = 0;
    const QIcon errorIcon = style()->standardIcon(QStyle::SP_MessageBoxCritical);
    const QIcon warningIcon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
    for (qsizetype i = 0; i < findings.size(); ++i) {
        const CheckFinding &f = findings[i];
        const bool error = f.level == CheckFinding::Level::Error;
        errors += error ? 1 : 0;
        const QString caption = captions.value(i);
        const QString item = caption.isEmpty() ? f.item() : f.item() + QLatin1Char(' ') + ConfigCheck::quoted(caption);
        auto *row = new QListWidgetItem(error ? errorIcon : warningIcon,
                                        QStringLiteral("%1: %2 (%3)").arg(item, f.message, f.code), lstFindings);
        row->setData(Qt::UserRole, int(i));
        row->setToolTip(f.line());
    }
    const qsizetype warnings = findings.size() - errors;
    if (findings.isEmpty())
        lablSummary->setText(QStringLiteral("No inconsistencies found."));
    else
        lablSummary->setText(QStringLiteral("%1 error(s), %2 warning(s). Double-click a finding to select its item.")
                                 .arg(errors)
                                 .arg(warnings));
    if (lstFindings->count() > 0)
        lstFindings->setCurrentRow(0);
}

void CheckResultsDialog::activate(QListWidgetItem *row)
{
    if (!row)
        return;
    const int i = row->data(Qt::UserRole).toInt();
    if (i >= 0 && i < m_findings.size())
        emit findingActivated(m_findings[i]);
}
