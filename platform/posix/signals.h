// The terminal and the signals that end the program, as the POSIX Os and
// the front end's InstallInterruptHandling share them. No OS header may
// come in here: tests include it.
//
// An interrupt that ends the program at once must not leave half-made
// files behind, so every file and folder made through the POSIX Os is
// noted here until it is renamed into place or removed. The notes are
// native C strings prepared ahead, read by the signal handler and changed
// only while the ending signals are blocked.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform::posix {

// Runs `body` with SIGINT, SIGTERM, SIGHUP and SIGPIPE held back, so that an
// operation and the note about it happen together or not at all.
void WithEndSignalsHeld(const std::function<void()>& body);

// `native` paths are made absolute here, before the handler may need them.
void NoteCreatedFile(const std::string& native);
void NoteCreatedFolder(const std::string& native);
// The entry was renamed away or removed: no longer the program's to clean.
void ForgetEntry(const std::string& native);

// platform::SetEndingWords.
void SetEndingWords(const std::string& text);

struct PendingCleanup {
  std::vector<std::string> files;    // to be deleted
  std::vector<std::string> folders;  // then removed when empty, newest first
};
// What an interrupt that ends the program would clean up now.
PendingCleanup WhatWouldBeCleanedUp();

// Whether standard input is a terminal whose foreground is this process's
// group: only then may its settings be changed or a question be asked.
bool StdinIsForegroundTerminal();
// Whether the user pressed Ctrl-C once (after InstallEndHandlers).
bool InterruptRequested();
// Os::EscapeKeyDown.
bool PollEscapeKey();
// Gives the terminal back its normal line mode for a question; the next
// PollEscapeKey takes it again.
void ReleaseTerminalForQuestion();
// Puts the terminal in key mode for a question read key by key, dropping
// the keys pressed before it; false when it cannot be had.
bool TakeTerminalForQuestion();

// platform::InstallInterruptHandling.
void InstallEndHandlers();

}  // namespace platform::posix
