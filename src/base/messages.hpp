// Where the programs' own lines go: status lines, song errors and failure
// texts are written to standard output, except while standard output
// carries the program's data (a WAV file sent to a pipe), when they go to
// standard error so that they never end up inside the data.
#pragma once

#include <cstdio>

namespace messages {

std::FILE* stream();

// From now on every message goes to standard error.
void divert_to_standard_error();

// Back to standard output (tests).
void reset_message_stream();

}  // namespace messages
