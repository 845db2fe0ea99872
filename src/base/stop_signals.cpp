#include "base/stop_signals.hpp"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <cstring>

namespace stop_signals {
namespace {

volatile sig_atomic_t received_signal = 0;
volatile sig_atomic_t orderly_end = 0;

// The handler reads these while the main thread may change them: a slot's
// path is written before `used` is set and `used` is cleared before the
// path changes again.
struct temporary_slot {
    std::atomic<bool> used{false};
    char path[PATH_MAX] = {};
};
std::array<temporary_slot, 16> temporaries;
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler reads these flags");

void end_now(int signal_number) {
    for (temporary_slot& slot : temporaries)
        if (slot.used.load()) ::unlink(slot.path);
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
}

void on_stop_signal(int signal_number) {
    const bool second = received_signal != 0;
    received_signal = signal_number;
    if (!orderly_end || second) end_now(signal_number);
}

}  // namespace

void install(bool orderly) {
    orderly_end = orderly ? 1 : 0;
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    // No automatic restart: a call that may wait for ever (opening a FIFO
    // that has no reader) returns, so that its caller can look at the
    // signal; the calls that are only slow carry on after EINTR themselves.
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void also_on_hangup() {
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    ::sigaction(SIGHUP, &action, nullptr);
}

int received() { return received_signal; }

void end_at_once() {
    if (received_signal != 0) end_now(received_signal);
}

void reset_received() { received_signal = 0; }

int register_temporary(const char* path) {
    if (std::strlen(path) >= PATH_MAX) return -1;
    for (size_t i = 0; i < temporaries.size(); ++i) {
        temporary_slot& slot = temporaries[i];
        if (slot.used.load()) continue;
        std::strcpy(slot.path, path);
        slot.used.store(true);
        return static_cast<int>(i);
    }
    return -1;
}

void unregister_temporary(int slot) {
    if (slot >= 0 && static_cast<size_t>(slot) < temporaries.size()) temporaries[slot].used.store(false);
}

}  // namespace stop_signals
