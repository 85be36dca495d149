#pragma once
// Start-up counters, compiled only into a build made to measure start-up (the bench configures
// one with VELQUOR_STARTUP_PHASES). Each mark notes when start-up first reached it; at the first
// idle the marks go into "startup-phases.txt" beside the exe, one "name=ms" line each, in the
// performance counter's milliseconds, which the bench driver reads against its own clock. In
// every other build they are empty and compile to nothing.

#ifdef VELQUOR_STARTUP_PHASES
void MarkStartupPhase(const char* Name);
void WriteStartupPhases();
#else
inline void MarkStartupPhase(const char*) {}
inline void WriteStartupPhases() {}
#endif
