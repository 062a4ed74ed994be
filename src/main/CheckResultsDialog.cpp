#include "main/CheckResultsDialog.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>

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

QRect CheckResultsDialog::placeBeside(QSize preferred, QSize minimum, const QRect &window, const QRect &screen)
{
    constexpr int Gap = 4;
    // The room on each side of the window, inside the screen.
    const QRect sides[] = {
        QRect(QPoint(window.right() + 1 + Gap, screen.top()), screen.bottomRight()),
        QRect(QPoint(window.left(), window.bottom() + 1 + Gap), QPoint(screen.right(), screen.bottom())),
        QRect(screen.topLeft(), QPoint(window.left() - 1 - Gap, screen.bottom())),
        QRect(QPoint(window.left(), screen.top()), QPoint(screen.right(), window.top() - 1 - Gap)),
    };
    QRect best;
    for (const QRect &room : sides) {
        if (room.width() < minimum.width() || room.height() < minimum.height())
            continue;
        QRect r(room.topLeft(), preferred.boundedTo(room.size()));
        // Level with the window's top where the room allows it.
        if (room.height() > window.height() / 2 && window.top() > room.top())
            r.moveTop(std::min(window.top(), room.bottom() + 1 - r.height()));
        if (qint64(r.width()) * r.height() > qint64(best.width()) * best.height())
            best = r;
    }
    if (best.isValid())
        return best;
    const QSize size = preferred.boundedTo(screen.size());
    return QRect(screen.bottomRight() - QPoint(size.width() - 1, size.height() - 1), size);
}

void CheckResultsDialog::moveBeside(const QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        return;
    // Before it is first shown the window's frame is not known: the editor's stands in.
    const QMargins frame(window->geometry().left() - window->frameGeometry().left(),
                         window->geometry().top() - window->frameGeometry().top(),
                         window->frameGeometry().right() - window->geometry().right(),
                         window->frameGeometry().bottom() - window->geometry().bottom());
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect r = placeBeside(size() + extra, minimumSizeHint() + extra, window->frameGeometry(),
                                screen->availableGeometry());
    resize(r.size() - extra);
    move(r.topLeft());
}
