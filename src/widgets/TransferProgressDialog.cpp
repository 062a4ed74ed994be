#include "widgets/TransferProgressDialog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

TransferProgressDialog::TransferProgressDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TransferProgressDialog"));
    setWindowModality(Qt::ApplicationModal);
    auto *layout = new QVBoxLayout(this);
    lablProgress = new QLabel(this);
    lablProgress->setObjectName(QStringLiteral("lablProgress"));
    lablProgress->setMinimumWidth(320);
    pbarTransfer = new QProgressBar(this);
    pbarTransfer->setObjectName(QStringLiteral("pbarTransfer"));
    pbarTransfer->setTextVisible(false);
    butnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    butnCancel->setObjectName(QStringLiteral("butnCancel"));
    layout->addWidget(lablProgress);
    layout->addWidget(pbarTransfer);
    layout->addWidget(butnCancel, 0, Qt::AlignRight);
    connect(butnCancel, &QPushButton::clicked, this, &TransferProgressDialog::reject);
}

void TransferProgressDialog::begin(Direction direction)
{
    m_direction = direction;
    m_cancelled = false;
    m_running = true;
    setWindowTitle(direction == Direction::Fetch ? QStringLiteral("Receiving the configuration")
                                                 : QStringLiteral("Sending the configuration"));
    showProgress(0, -1);
    m_clock.start();
}

bool TransferProgressDialog::progress(qint64 done, qint64 total)
{
    if (!m_running)
        return !m_cancelled;
    if (!isVisible() && m_clock.elapsed() >= m_showDelayMs)
        show();
    if (isVisible()) {
        showProgress(done, total);
        QCoreApplication::processEvents();
    } else {
        // Painting and timers go on; clicks and keys wait until the dialog stands in front.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    return !m_cancelled;
}

void TransferProgressDialog::end()
{
    m_running = false;
    hide();
}

void TransferProgressDialog::reject()
{
    m_cancelled = true;
    if (!m_running)
        QDialog::reject();
}

void TransferProgressDialog::showProgress(qint64 done, qint64 total)
{
    if (total < 0) {
        lablProgress->setText(QStringLiteral("Waiting for the server..."));
        pbarTransfer->setRange(0, 0);
        return;
    }
    const QString verb = m_direction == Direction::Fetch ? QStringLiteral("received") : QStringLiteral("sent");
    lablProgress->setText(QStringLiteral("%1 of %2 bytes %3").arg(done).arg(total).arg(verb));
    pbarTransfer->setRange(0, 1000);
    pbarTransfer->setValue(total > 0 ? int(done * 1000 / total) : 1000);
}

void TransferProgressDialog::runInBackground(const QString &title, Net::WaitLimits limits, const Net::Work &work)
{
    m_cancelled = false;
    m_running = true;
    setWindowTitle(title);
    showProgress(0, -1);
    limits.keepGoing = [this] { return !m_cancelled.load(); };

    bool done = false;
    QEventLoop loop;
    std::unique_ptr<QThread> thread(QThread::create([&work, &limits] { work(limits); }));
    // Queued to this thread: `done` is only touched here.
    connect(thread.get(), &QThread::finished, &loop, [&done, &loop] {
        done = true;
        loop.quit();
    });
    QTimer reveal;
    reveal.setSingleShot(true);
    connect(&reveal, &QTimer::timeout, &loop, &QEventLoop::quit);
    thread->start();
    reveal.start(m_showDelayMs);
    // First only painting and timers, the hourglass up; clicks and keys wait until the
    // dialog stands in front (then modal, it takes them and the windows behind it do not).
    QGuiApplication::setOverrideCursor(Qt::BusyCursor);
    while (!done && reveal.isActive())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QGuiApplication::restoreOverrideCursor();
    if (!done) {
        show();
        while (!done)
            loop.exec();
    }
    thread->wait();
    m_running = false;
    hide();
}

Net::Runner TransferProgressDialog::backgroundRunner(QWidget *owner, const QString &title)
{
    return [owner = QPointer<QWidget>(owner), title](Net::WaitLimits limits, const Net::Work &work) {
        TransferProgressDialog dialog(owner);
        dialog.runInBackground(title, std::move(limits), work);
    };
}
