#include "base/standard_output.hpp"
#include "driver/run_modes.hpp"

int main(int argc, char** argv) {
    driver::initialise_modules();
    const int status = driver::run(argc - 1, argv + 1);
    // Help, version and status lines must have arrived, as the WAV has.
    return standard_output::finish("playtun", status);
}
