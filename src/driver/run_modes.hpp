// The program's entry operation: finishes start-up, chooses the run mode from
// the command line and runs it.
#pragma once

namespace driver {

// Module initialisation in its fixed order: failure reporter, synth tables.
void initialise_modules();

// Runs the program for the arguments after the program name and returns
// its exit status. Run-time failures end the program through the failure
// reporter instead.
int run(int argument_count, char** arguments);

}  // namespace driver
