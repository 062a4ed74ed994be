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

// Maps the pages of a buffer about to be written whole in one system call, instead of one
// page fault for each page as it is first written (each fault costs far more than the page's
// share of the call, most of all in a virtual machine). Only the whole pages inside the
// buffer are given; below MinPopulate, or where the system lacks it, this does nothing.
constexpr qsizetype MinPopulate = qsizetype(256) << 10;
void populate(void *data, qsizetype size);

} // namespace LargeBuffer
