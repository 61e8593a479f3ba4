// The marrowfold command: options, the batch through the main window's
// logic, and --info. main() only adds what a real process needs around it
// (interrupt handling), so the tests run the same code in-process.
#pragma once

// Runs the command and returns its exit status: 0 every named drawing
// converted (or read, for --info); 1 some failed or were skipped, the
// batch was stopped or ended before converting, or the program folder or
// its work folder could not be used; 2 a usage error or no drawing named.
int MarrowfoldMain(int argc, char** argv);

// The program's name and version as the window's caption shows them.
extern const char* const kMarrowfoldVersion;
