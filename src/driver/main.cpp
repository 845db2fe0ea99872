#include <cstdio>

#include "driver/run_modes.hpp"

int main(int argc, char** argv) {
    driver::initialise_modules();
    const int status = driver::run(argc - 1, argv + 1);
    std::fflush(stdout);
    return status;
}
