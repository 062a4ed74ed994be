#pragma once

// Time stamps of the editor's start-up, for the whole-process benchmark. With
// QUILMORA_STARTUP_TRACE=1 in the environment each stage prints one line on stderr:
//   startup-trace: <stage> <ms since main began> mono=<CLOCK_MONOTONIC ms> cpu=<thread CPU ms>
//                  faults=<page faults of that thread>
// The monotonic figure lets a launcher measure from the moment it started the process; the
// processor time of the window's thread (the one that marks the stages) shows its work
// apart from waits; threads that read ahead or check in the background are not counted.
// Without the variable every call returns at once and prints nothing.
namespace StartupTrace {

// Called first thing in main(): starts the clock and, when tracing, watches the first
// paint of the connection dialog and of the main window.
void begin();
// Prints one stage's time stamp when tracing.
void mark(const char *stage);

} // namespace StartupTrace
