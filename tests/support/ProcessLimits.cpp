#include "support/ProcessLimits.h"

#include <QProcess>
#include <csignal>

namespace {
void setFileSizeLimit(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}
} // namespace

void limitFileSize(QProcess &process, qint64 bytes)
{
    process.setChildProcessModifier([bytes] { setFileSizeLimit(bytes); });
}

FileSizeLimit::FileSizeLimit(qint64 bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    if (getrlimit(RLIMIT_FSIZE, &m_old) != 0)
        return;
    rlimit small = m_old;
    small.rlim_cur = rlim_t(bytes);
    m_set = setrlimit(RLIMIT_FSIZE, &small) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_set)
        setrlimit(RLIMIT_FSIZE, &m_old);
}
