// `tuntool build SCORE.txt OUT.tun`: a song from a text score.
#pragma once

#include <string>
#include <vector>

namespace score {

// args are the words after "build"; returns the exit status (1 with the
// score's line and column for a mistake in it).
int build_command(const std::vector<std::string>& args);

}  // namespace score
