// The program's entry operation: finishes start-up, chooses the run mode from
// the command line and runs it.
#pragma once

namespace driver {

// Module initialisation in its fixed order: failure reporter, synth tables.
void initialise_modules();

// Runs the program for the arguments after the program name; returns the
// exit status of an orderly end (record mode ends the program itself).
int run(int argument_count, char** arguments);

}  // namespace driver
