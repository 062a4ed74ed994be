#pragma once

#include <QDate>
#include <QDateTime>

// The local date and time as the program sees them. Windows take a Clock at construction,
// so tests can fix "today".
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0; // local time
    QDate today() const { return now().date(); }
};

// The system clock.
class SystemClock : public Clock
{
public:
    QDateTime now() const override;
};

// A clock standing still at a given moment, for tests.
class FixedClock : public Clock
{
public:
    explicit FixedClock(const QDateTime &moment) : m_moment(moment) {}
    explicit FixedClock(const QDate &date) : m_moment(date.startOfDay()) {}
    QDateTime now() const override { return m_moment; }
    void set(const QDateTime &moment) { m_moment = moment; }

private:
    QDateTime m_moment;
};
