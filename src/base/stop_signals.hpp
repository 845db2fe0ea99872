// SIGINT and SIGTERM: a program notes them and ends in order at the next
// point where it can (record mode after the current block, the screens at
// their next pass), ending with status 130 or 143. A second signal, or a
// signal to a program that has not asked for an orderly end, ends the
// program at once, after removing the temporary files of outputs that were
// not finished, so that an interrupted write never leaves one behind.
#pragma once

namespace stop_signals {

// Installs the handlers. With `orderly` the first signal is only noted;
// without, it ends the program at once. System calls that a signal
// interrupts are not restarted: they end with EINTR.
void install(bool orderly);

// SIGHUP too becomes a stop signal, handled as install set them up: a
// screen in a terminal whose connection dropped ends in order (status 129).
void also_on_hangup();

// The signal that asked the program to stop (SIGINT, SIGTERM or SIGHUP), or 0.
int received();

// When a stop signal has arrived, ends the program at once as a second
// one would (temporary files removed, the signal's own ending); for a wait
// that nothing was written before, such as a FIFO's reader. Returns when
// none has arrived.
void end_at_once();

// Forgets a received signal (tests).
void reset_received();

// Temporary files that the handler removes when it ends the program.
// register_temporary returns a slot (or -1 when all are taken); the path
// is copied.
int register_temporary(const char* path);
void unregister_temporary(int slot);

}  // namespace stop_signals
