// "tuntool import": makes a chip-variant song from a PSID tune.
#pragma once

#include <string>
#include <vector>

namespace tuntool {

// Runs the command with the arguments that follow the word "import".
// Returns the exit status: 0 done, 1 the import failed (one line on
// standard error, no output written), 2 a command line it does not
// understand. Failures to read or write files are thrown as tool_error.
int import_command(const std::vector<std::string>& args);

}  // namespace tuntool
