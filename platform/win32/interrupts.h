// Ctrl-C, Ctrl-Break and the console's close request, as the Win32 Os and
// InstallInterruptHandling share them. No OS header may come in here:
// tests include it.
//
// Windows runs a console control handler on a thread of its own, while the
// main thread may be in the middle of writing a file. So that an ending
// interrupt leaves no half-made file, every file and folder made through
// the Win32 Os is noted here, with every file it has open, until
// it is renamed into place or removed, and every operation that makes,
// writes, closes, renames or removes one runs under the one lock the
// handler takes too (reads as well: a handle is closed only between two
// calls on it). The handler, once it holds the lock, knows the main
// thread is not inside such an operation: it closes the open handles,
// deletes the files, removes the folders (newest first, only when empty)
// and ends the process with TerminateProcess, which runs no code of the
// program's (no static destructor that could wait for a lock).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform::win32 {

// Runs `body` under the lock of the notes: an operation and the note about
// it happen together, before or after an ending interrupt, never across it.
void WithNotesLocked(const std::function<void()>& body);

// Paths are wide full paths (GetFullPathNameW).
void NoteCreatedFile(const std::wstring& path);
// Every file the Os opened (a HANDLE as an integer), until it is closed:
// the handler closes them all first, because a file still open elsewhere
// in the program (a staged image being read for compression) would stay
// as "delete pending" and keep its folder from being removed.
void NoteFileOpened(std::uintptr_t handle);
void NoteFileClosed(std::uintptr_t handle);
void NoteCreatedFolder(const std::wstring& path);
// The entry was renamed away or removed: no longer the program's to clean.
void ForgetEntry(const std::wstring& path);

struct PendingCleanup {
  std::vector<std::wstring> files;    // to be deleted
  std::vector<std::wstring> folders;  // then removed when empty, newest first
};
PendingCleanup WhatWouldBeCleanedUp();

// Whether a first Ctrl-C came (after InstallEndHandlers).
bool InterruptRequested();

// platform::SetEndingWords, the text in the two forms an ending interrupt
// may need; prepared here so that the handler allocates nothing.
void SetEndingWords(const std::wstring& wide, const std::string& utf8);

// Standard output's reader closed the pipe: once InstallEndHandlers was
// called, the program ends as at a second Ctrl-C (status 141, as a POSIX
// shell shows SIGPIPE), printing nothing more.
void EndBecauseOutputClosed();

void InstallEndHandlers();

}  // namespace platform::win32
