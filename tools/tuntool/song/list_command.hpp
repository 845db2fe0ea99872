// tuntool list: every song under folders, as an extended M3U play list.
#pragma once

#include <string>
#include <vector>

namespace tuntool {

// list DIR... [-o LIST.m3u]; the list goes to standard output without -o.
int list_command(const std::vector<std::string>& args);

}  // namespace tuntool
