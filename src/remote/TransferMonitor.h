#pragma once

#include <QtGlobal>

// Watches one transfer of the remote configuration while it runs: the editor shows its
// progress and offers Cancel; the command line has none. Called on the transfer's thread,
// often (between short slices of every wait and after every piece of the data block).
class TransferMonitor
{
public:
    enum class Direction { Fetch, Return };

    virtual ~TransferMonitor() = default;

    virtual void begin(Direction direction) = 0;
    // `done` bytes of the data block of `total` (-1 while the length is not known yet).
    // False cancels the transfer, which then fails with "Transfer cancelled".
    virtual bool progress(qint64 done, qint64 total) = 0;
    virtual void end() = 0;
};
