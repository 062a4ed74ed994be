#include "platform/ThreadPriority.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// On Linux the nice value belongs to each thread, and setpriority(2) given a thread's id
// changes that thread only.
id_t currentThreadId()
{
    return static_cast<id_t>(::syscall(SYS_gettid));
}

} // namespace

int ThreadPriority::currentNice()
{
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, currentThreadId());
    return errno == 0 ? nice : 0;
}

bool ThreadPriority::lowerCurrent(int steps)
{
    if (steps <= 0)
        return true;
    const int target = std::min(currentNice() + steps, 19);
    return ::setpriority(PRIO_PROCESS, currentThreadId(), target) == 0;
}
