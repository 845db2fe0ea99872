// `tuntool render`: songs into WAV or FLAC files, with loop passes, a
// fade-out, a time limit, muted or soloed voices and one file per voice,
// several songs at a time.
#pragma once

#include <string>
#include <vector>

namespace tuntool {

// args are the words after "render"; returns the exit status.
int render_command(const std::vector<std::string>& args);

}  // namespace tuntool
