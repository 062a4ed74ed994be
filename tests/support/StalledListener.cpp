#include "support/StalledListener.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

StalledListener::StalledListener()
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listener, 0) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    // The one waiting connection the backlog holds.
    m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in to = loopback(m_port);
    if (m_filler >= 0)
        ::connect(m_filler, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

StalledListener::~StalledListener()
{
    if (m_filler >= 0)
        ::close(m_filler);
    if (m_listener >= 0)
        ::close(m_listener);
}

bool StalledListener::stalls() const
{
    if (m_port == 0)
        return false;
    const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (probe < 0)
        return false;
    const sockaddr_in to = loopback(m_port);
    bool pending = false;
    if (::connect(probe, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0 && errno == EINPROGRESS) {
        pollfd wait{probe, POLLOUT, 0};
        pending = ::poll(&wait, 1, 300) == 0; // still not connected after 300 ms
    }
    ::close(probe);
    return pending;
}
