#pragma once
// Temporary files that must not outlive a program stopped by SIGINT, SIGTERM or SIGHUP. Their
// writers register them while they exist; a program that wants them removed on those signals
// installs the handler once. The handler removes every registered file, then lets the signal
// end the program as it would have.

#include <signal.h>

#include <filesystem>

namespace vantrel {

// Up to 64 files at once, each with a path under 4,096 bytes; others are not covered.
void registerTemporary(const std::filesystem::path& path);
void unregisterTemporary(const std::filesystem::path& path);

// Holds SIGINT, SIGTERM and SIGHUP back in this thread while it lives: a file created under it
// and registered before it ends cannot be left behind by a signal arriving in between. A held
// signal is delivered when the guard ends.
class StopSignalsHeld {
 public:
  StopSignalsHeld();
  ~StopSignalsHeld();
  StopSignalsHeld(const StopSignalsHeld&) = delete;
  StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

 private:
  sigset_t previous_{};
};

// Installs the handler for SIGINT, SIGTERM and SIGHUP, except for a signal that is ignored
// (a program started with nohup keeps ignoring SIGHUP).
void removeTemporariesOnStopSignals();

}  // namespace vantrel
