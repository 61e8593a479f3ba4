// What a front end needs of the system around the program: where it lies,
// where per-user state goes, and how an interrupt ends it.
#pragma once

#include <string>

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
// batch stops between files. A second Ctrl-C, or a request to terminate,
// ends the program at once: the terminal's settings are restored, every
// file the program created and had not yet renamed into place (a drawing
// being written, staged images) is deleted, and the folders it made and
// had not removed are removed when empty, so nothing half-made is left.
void InstallInterruptHandling();

}  // namespace platform
