// The decisions of the POSIX desktop services, kept apart from the system
// calls around them so that they can be tried without a terminal, a signal
// or the user's real home. No OS header may come in here: tests include it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform::posix {

// The user's home folder: $HOME, else the password database's entry; ""
// when neither tells.
std::string HomeFolder();

// The folder that the text of a user-dirs.dirs file gives for `key`
// ("XDG_DESKTOP_DIR"), as a native path without a final "/"; `home` +
// "/" + `fallbackName` when the text does not give it.
std::string UserFolderFromConfig(const std::string& config, const std::string& key,
                                 const std::string& home, const std::string& fallbackName);

// What ShowMessage prints for a Shift-JIS text: UTF-8, one "\n" per line
// break, ending with "\n".
std::string MessageForTerminal(const std::string& sjis);

// Whether bytes read from a terminal in non-canonical mode hold a press of
// the Esc key itself, rather than only the escape sequences that arrow and
// function keys send.
bool HoldsEscapeKey(const std::string& bytes);

// An answer typed at a question, key by key, on a terminal that neither
// echoes nor edits by itself: the Esc key abandons the question, where the
// terminal's own line editing would take it into the answer.
struct LineEditor {
  enum class Status { Typing, Entered, Abandoned };
  std::string line;     // the answer so far (UTF-8)
  std::string pending;  // an escape sequence not yet whole
  // Takes the bytes of one read; `echo` gets what the terminal must show.
  // An ESC that ends the bytes, or is followed by anything but the start
  // of a key's sequence, is the Esc key itself.
  Status Feed(const std::string& bytes, std::string& echo);
};

// The command-line stand-in for the save dialog: asks for a folder until
// it gets one that exists.
struct FolderPrompt {
  std::string title;          // UTF-8, the question itself; may be ""
  Path startInternal;         // what Enter alone accepts
  std::string startNative;    // the same folder, as the question shows it
  std::string home;           // what a leading "~" stands for
  std::string currentFolder;  // what a relative answer is taken against
  // One line without its "\n"; false at the end of input or when the
  // question is to be abandoned.
  std::function<bool(std::string& line)> readLine;
  std::function<void(const std::string& text)> write;
  std::function<bool(const std::string& native)> isFolder;
};

// True with `chosen` = the internal folder + "\" + `fileName`; false when
// the input ended or was abandoned.
bool AskSaveFolder(const FolderPrompt& prompt, const Path& fileName, Path& chosen);

// What the POSIX Os builds on the above.
//
// The folder of the user-dirs key as an internal path without a final
// "\", from $XDG_CONFIG_HOME/user-dirs.dirs or ~/.config/user-dirs.dirs;
// "" when there is no home.
Path UserFolderInternal(const std::string& key, const std::string& fallbackName);
// The save "dialog" on a terminal: asks on standard error, reads standard
// input; false at once without a terminal in the foreground.
bool AskSaveFolderOnTerminal(const SaveDialogRequest& request, Path& chosen);

// The full path of `program` in a folder of $PATH, or "".
std::string FindInPath(const std::string& program);
// Starts argv[0] (a full path) with its arguments in a session of its own,
// standard streams on /dev/null, never waited for. False when it could not
// be started.
bool StartDetached(const std::vector<std::string>& argv);

}  // namespace platform::posix
