#pragma once

#include "remote/ReplyReader.h"
#include "remote/TransferMonitor.h"

#include <QDialog>
#include <QElapsedTimer>
#include <atomic>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress of a network exchange that takes a while: hidden at first, it appears after
// a second with what is going on and a Cancel button. Meanwhile the windows stay painted;
// while it is hidden no input reaches them, once shown it is modal. Cancel (or Esc) makes
// the exchange fail with "Transfer cancelled".
//
// A remote transfer runs on the window's thread and reports to it as its monitor (the
// bytes of the configuration moved so far). Any other exchange runs on a thread of its
// own through runInBackground (the help services' mail and version check).
class TransferProgressDialog : public QDialog, public TransferMonitor
{
    Q_OBJECT
public:
    static constexpr int DefaultShowDelayMs = 1000;

    explicit TransferProgressDialog(QWidget *parent = nullptr);

    void setShowDelay(int ms) { m_showDelayMs = ms; }
    bool cancelled() const { return m_cancelled; }

    // Runs `work` on a thread of its own and returns once it has returned; the window's
    // event loop runs meanwhile. The dialog, titled `title`, stands for it as described
    // above; its Cancel is added to `limits` as their watcher.
    void runInBackground(const QString &title, Net::WaitLimits limits, const Net::Work &work);
    // A runner for the core's exchanges: each runs through runInBackground of a dialog of
    // its own, owned by `owner` (which must outlive the runner's use).
    static Net::Runner backgroundRunner(QWidget *owner, const QString &title);

    void begin(Direction direction) override;
    bool progress(qint64 done, qint64 total) override;
    void end() override;

    void reject() override; // Esc and the window's close button cancel too

    QLabel *lablProgress = nullptr;
    QProgressBar *pbarTransfer = nullptr;
    QPushButton *butnCancel = nullptr;

private:
    void showProgress(qint64 done, qint64 total);

    Direction m_direction = Direction::Fetch;
    QElapsedTimer m_clock;
    int m_showDelayMs = DefaultShowDelayMs;
    std::atomic<bool> m_cancelled = false; // read by the thread of runInBackground's work
    bool m_running = false;
};
