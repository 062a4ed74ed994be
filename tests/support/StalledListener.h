#pragma once

#include <QtGlobal>

// A TCP port on 127.0.0.1 where a connection is never made: it listens with no room for
// waiting connections, one connection of its own fills that room, and nobody accepts, so
// the system drops every further attempt and the client keeps waiting for its connection.
// For tests of what a client does before its connection is made (Cancel, deadlines).
//
//   StalledListener stalled;
//   if (!stalled.stalls())
//       QSKIP("this system completes connections to a full listener");
//   client.Port = stalled.port();
class StalledListener
{
public:
    StalledListener();
    ~StalledListener();
    StalledListener(const StalledListener &) = delete;
    StalledListener &operator=(const StalledListener &) = delete;

    quint16 port() const { return m_port; }
    // Whether an attempt to connect now stays pending (tried for a moment).
    bool stalls() const;

private:
    int m_listener = -1;
    int m_filler = -1;
    quint16 m_port = 0;
};
