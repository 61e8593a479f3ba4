// What a front end needs of the system around the program: where it lies,
// where per-user state goes, and how an interrupt ends it.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The native folder of the running program file.
std::string ProgramFolderNative();

// Whether a file can be made in the native folder.
bool FolderWritable(const std::string& native);
// Creates a native folder and any missing parents. False, with `error`
// for a person, when it cannot be made (or a file of that name is there).
bool MakeFolders(const std::string& native, std::string& error);
// The folder for the program's own state of this user (native path):
// $XDG_STATE_HOME/marrowfold, else ~/.local/state/marrowfold.
std::string UserStateFolderNative();

// From now on, a first Ctrl-C makes Os::EscapeKeyDown() answer true, so a
// batch stops between files. A second Ctrl-C, a request to terminate, or
// standard output closed by its reader ends the program at once: the
// terminal's settings are restored, every file the program created and had
// not yet renamed into place (a drawing being written, staged images) is
// deleted, and the folders it made and had not removed are removed when
// empty, so nothing half-made is left.
void InstallInterruptHandling();

// Whether the stop of the batch came from a first Ctrl-C rather than the
// Esc key.
bool InterruptRequested();

// UTF-8 text that an interrupt ending the program at once writes to
// standard output (when that is still open) after cleaning up; "" for
// none. Holds until changed.
void SetEndingWords(const std::string& utf8);

// The program's arguments as UTF-8 text, without the program's name. On
// POSIX they are argv as given (UTF-8 by the locale); on Windows argc and
// argv are ignored and the wide command line is taken apart
// (CommandLineToArgvW), because argv there is in the ANSI code page and has
// lost every character that code page lacks.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// Writes UTF-8 text to standard output or standard error, flushed. A
// Windows console gets it as UTF-16 (WriteConsoleW), so Japanese shows
// whatever the console's code page; a redirected stream, and every stream
// on POSIX, gets the UTF-8 bytes as they are.
void WriteOut(bool toStderr, const std::string& utf8);

// Where Os::ShowMessage and ReportUnexpectedFailure go. Off (the default on
// Windows): message boxes, as the window program has them. On: printed like
// a terminal's messages (the text as UTF-8 lines on standard output; a
// failure on standard error), as the console front end sets it before
// anything runs. POSIX always prints and ignores the switch.
void MessagesToConsole(bool toConsole);
bool MessagesGoToConsole();

// The default error report for a failure nothing else caught (UTF-8 text):
// a message box with the error icon and the caption "Marrowfold" on
// Windows, or standard error when messages go to the console (always on
// POSIX).
void ReportUnexpectedFailure(const std::string& utf8);

}  // namespace platform
