// marrowfold: converts Jw_cad drawings into drawings that carry their images.
// See `marrowfold --help` and README.md.
#include "cli/command.h"
#include "platform/program.h"

int main(int argc, char** argv) {
  // Esc and a first Ctrl-C stop a batch between files; a second Ctrl-C
  // ends the run at once without leaving half-written files.
  platform::InstallInterruptHandling();
  return MarrowfoldMain(argc, argv);
}
