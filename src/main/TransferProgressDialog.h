#pragma once

#include "remote/TransferMonitor.h"

#include <QDialog>
#include <QElapsedTimer>

class QLabel;
class QProgressBar;
class QPushButton;

// The progress of a remote transfer, for a transfer that takes a while: hidden at first, it
// appears after a second with the bytes of the configuration moved so far and a Cancel
// button. Meanwhile it keeps the window painted; while it is hidden no input reaches the
// windows, once shown it is modal. Cancel (or Esc) makes the transfer fail with
// "Transfer cancelled".
class TransferProgressDialog : public QDialog, public TransferMonitor
{
    Q_OBJECT
public:
    static constexpr int DefaultShowDelayMs = 1000;

    explicit TransferProgressDialog(QWidget *parent = nullptr);

    void setShowDelay(int ms) { m_showDelayMs = ms; }
    bool cancelled() const { return m_cancelled; }

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
    bool m_cancelled = false;
    bool m_running = false;
};
