// Standard output that carries a program's data or text must arrive: a
// program checks, before it ends, that everything it wrote there was
// written (buffers flushed, the descriptor closed without an error).
#pragma once

namespace standard_output {

// Flushes and closes standard output. When something written there did not
// arrive, a line naming the program and the reason goes to standard error
// and the status becomes 1 (a status that already says failure stays). A
// reader that has gone away (a closed pipe) ends the program quietly, as
// the signal for a broken pipe does, the way command-line tools end in a
// pipeline such as `program | head`.
int finish(const char* program, int status);

// The same ending for a closed pipe met while writing: no message, the
// program ends as killed by SIGPIPE.
[[noreturn]] void end_on_broken_pipe();

}  // namespace standard_output
