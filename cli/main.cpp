// marrowfold: converts Jw_cad drawings into drawings that carry their images.
// See `marrowfold --help` and README.md. On Windows this is marrowfold-cli.exe,
// the console front end beside the window program.
#include <exception>
#include <string>
#include <vector>

#include "cli/command.h"
#include "platform/platform.h"
#include "platform/program.h"

int main(int argc, char** argv) {
  // A console program: messages (the folder question's, -G's results) are
  // printed, not shown in message boxes that would stop a script.
  platform::MessagesToConsole(true);
  // Esc and a first Ctrl-C stop a batch between files; a second Ctrl-C
  // ends the run at once without leaving half-written files.
  platform::InstallInterruptHandling();
  // The arguments as UTF-8: on Windows from the wide command line, since
  // argv there has lost what the ANSI code page cannot hold.
  std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  std::vector<char*> argvUtf8;
  argvUtf8.push_back(argc > 0 ? argv[0] : const_cast<char*>("marrowfold"));
  for (std::string& a : args) argvUtf8.push_back(a.data());
  argvUtf8.push_back(nullptr);
  try {
    return MarrowfoldMain(static_cast<int>(argvUtf8.size() - 1), argvUtf8.data());
  } catch (const std::exception& e) {
    // What the window program's default error report would show.
    platform::ReportUnexpectedFailure(std::string("marrowfold: unexpected failure: ") +
                                      platform::SjisToDisplay(e.what()));
    return 1;
  }
}
