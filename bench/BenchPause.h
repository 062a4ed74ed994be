#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QObject>
#include <QTimer>
#include <algorithm>

// The longest time this thread's event loop did not turn while the probe lives: a timer of
// 1 ms ticks whenever the loop turns (it does not keep an idle loop busy), and the longest
// gap between two ticks (or since the last tick, when asked) is the longest the window
// could neither paint nor answer.
class LongestPause
{
public:
    LongestPause()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this]() { tick(); });
        m_since.start();
        m_timer.start();
    }
    double ms()
    {
        tick();
        return m_longestMs;
    }
    int turns() const { return m_turns; }

private:
    void tick()
    {
        m_longestMs = std::max(m_longestMs, double(m_since.nsecsElapsed()) / 1e6);
        m_since.restart();
        ++m_turns;
    }

    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longestMs = 0;
    int m_turns = 0;
};

// Counts the paint events a widget gets while the counter lives.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QObject *widget) : m_widget(widget) { widget->installEventFilter(this); }
    ~PaintCounter() override { m_widget->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }

private:
    QObject *m_widget;
};
