#pragma once

#include <QtGlobal>

// Large buffers that are filled once from start to end (a configuration file read whole,
// the file a save renders): asking for huge pages before the first write makes filling
// them take one page fault per 2 MB instead of one per 4 KB. Only the 2 MB-aligned part
// inside the buffer is given; where the system has no such advice this does nothing.
namespace LargeBuffer {

// Below this size the advice is not worth a system call.
constexpr qsizetype MinSize = qsizetype(4) << 20;

void adviseHugePages(char *data, qsizetype size);

} // namespace LargeBuffer
