#include "platform/LargeBuffer.h"

#include <cstdint>
#include <sys/mman.h>

namespace LargeBuffer {

void adviseHugePages(char *data, qsizetype size)
{
#ifdef MADV_HUGEPAGE
    if (size < MinSize)
        return;
    constexpr std::uintptr_t huge = std::uintptr_t(2) << 20;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + huge - 1) & ~(huge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(size)) & ~(huge - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), size_t(end - begin), MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

void populate(void *data, qsizetype size)
{
#ifdef MADV_POPULATE_WRITE
    if (size < MinPopulate)
        return;
    constexpr std::uintptr_t page = 4096;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(size)) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void *>(begin), size_t(end - begin), MADV_POPULATE_WRITE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

} // namespace LargeBuffer
