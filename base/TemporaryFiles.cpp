#include "base/TemporaryFiles.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace vantrel {
namespace {

// A fixed table, so that the signal handler touches nothing but lock-free atomics and plain
// bytes, and calls nothing but unlink().
constexpr std::size_t kSlots = 64;
constexpr std::size_t kPathBytes = 4096;

enum SlotState : int { kFree = 0, kBusy = 1, kHeld = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  std::array<char, kPathBytes> path{};
};

std::array<Slot, kSlots> slots;

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free atomics");

extern "C" void removeTemporariesAndStop(int signalNumber) {
  for (Slot& slot : slots) {
    if (slot.state.load() == kHeld) ::unlink(slot.path.data());
  }
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

}  // namespace

void registerTemporary(const std::filesystem::path& path) {
  const std::string& text = path.native();
  if (text.size() >= kPathBytes) return;
  for (Slot& slot : slots) {
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kBusy)) continue;
    std::memcpy(slot.path.data(), text.c_str(), text.size() + 1);
    slot.state.store(kHeld);
    return;
  }
}

void unregisterTemporary(const std::filesystem::path& path) {
  const std::string& text = path.native();
  for (Slot& slot : slots) {
    int expected = kHeld;
    if (!slot.state.compare_exchange_strong(expected, kBusy)) continue;
    const bool same = std::strcmp(slot.path.data(), text.c_str()) == 0;
    slot.state.store(same ? kFree : kHeld);
    if (same) return;
  }
}

StopSignalsHeld::StopSignalsHeld() {
  sigset_t stop;
  sigemptyset(&stop);
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stop, signalNumber);
  ::pthread_sigmask(SIG_BLOCK, &stop, &previous_);
}

StopSignalsHeld::~StopSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

void removeTemporariesOnStopSignals() {
  for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signalNumber, nullptr, &current) != 0 || current.sa_handler == SIG_IGN)
      continue;
    struct sigaction handler {};
    handler.sa_handler = removeTemporariesAndStop;
    sigemptyset(&handler.sa_mask);
    (void)::sigaction(signalNumber, &handler, nullptr);  // without it the files stay, as before
  }
}

}  // namespace vantrel
