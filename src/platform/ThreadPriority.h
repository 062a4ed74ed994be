#pragma once

// The scheduling priority of the calling thread alone.
namespace ThreadPriority {

// Lowers the calling thread's priority (its nice value, by `steps`, at most to the lowest),
// leaving the process's other threads as they are: work that may wait, done on a thread of
// its own, then gives way to the window's thread whenever both want a processor. A thread
// cannot raise its priority again, so this is for threads that end with their work. Gives
// false when the system refused (nothing changed then).
bool lowerCurrent(int steps);

// The calling thread's nice value (0 for most threads; higher is lower priority).
int currentNice();

} // namespace ThreadPriority
