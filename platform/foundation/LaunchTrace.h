#pragma once
// Timestamped marks on the way from a launch to what a user waits for: the
// toolkit up, the window shown, its first frame, launch finished, the library
// loaded, a song's waveform drawn. With TOLVAN_LAUNCH_TRACE set in the
// environment each mark prints one line on standard error, once per process:
//
//     tolvan-launch NAME MONOTONIC_SECONDS MILLISECONDS_SINCE_START
//
// MONOTONIC_SECONDS is the system's monotonic clock, the one a benchmark
// reads when it starts the process, so it can measure from its own start;
// MILLISECONDS_SINCE_START counts from the program's static initialisation.
// Without the variable a mark costs one load of a flag.

#include <string_view>

namespace tolvan {

enum class LaunchMark {
    Main,               // main() entered
    ApplicationCreated, // the toolkit's application object exists
    WindowShown,        // the main window was asked to show
    FirstFrame,         // the main window's first frame reached the screen
    LaunchFinished,     // the start-up steps after the window have run
    LibraryLoaded,      // the browser's first list has its rows
    WaveformVisible,    // the first picture of a song: its visible part drawn from its samples, at the view's height
    WaveformComplete,   // the whole song is read and the visible part drawn from it
};

std::string_view launchMarkName(LaunchMark mark);
bool launchTraceEnabled();
// Prints the mark if tracing and if it has not printed yet.
void launchMark(LaunchMark mark);

}  // namespace tolvan
