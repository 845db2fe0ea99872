#include "base/messages.hpp"

namespace messages {
namespace {

bool diverted = false;

}  // namespace

std::FILE* stream() { return diverted ? stderr : stdout; }

void divert_to_standard_error() {
    std::fflush(stdout);
    diverted = true;
}

void reset_message_stream() { diverted = false; }

}  // namespace messages
