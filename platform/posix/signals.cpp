// The terminal's key mode and the signals around it. Esc is read from a
// terminal in non-canonical mode, and a terminal left in that mode makes
// the user's shell unusable (nothing echoes), so once the mode is changed
// every way out of the program puts it back: a normal exit, Ctrl-C and
// termination, a stop with Ctrl-Z and a crash. The handlers only ever call
// async-signal-safe functions over data prepared before they can run.
#include "platform/posix/signals.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <unordered_map>

#include "platform/platform.h"
#include "platform/posix/services.h"

namespace platform::posix {

namespace {

// --- What an ending interrupt removes -----------------------------------

using Note = std::unique_ptr<char[]>;

// The handler walks `list`; the program looks paths up in `at`, so that a
// run making thousands of files does not scan them all at every file.
struct Notes {
  std::vector<Note> list;                           // in creation order; null once forgotten
  std::unordered_map<std::string, std::size_t> at;  // path -> its place in `list`
};
// Made before main() and never destroyed: a signal that lands while the
// program's statics are being torn down at exit must still find them.
Notes& g_files = *new Notes;
Notes& g_folders = *new Notes;

Note NoteOf(const std::string& path) {
  Note note(new char[path.size() + 1]);
  std::memcpy(note.get(), path.c_str(), path.size() + 1);
  return note;
}

// Both below run with the ending signals held.
void Keep(Notes& notes, const std::string& path, Note note) {
  if (notes.at.emplace(path, notes.list.size()).second) notes.list.push_back(std::move(note));
}

void Drop(Notes& notes, const std::string& path) {
  auto it = notes.at.find(path);
  if (it == notes.at.end()) return;
  notes.list[it->second].reset();
  notes.at.erase(it);
  // Forgotten places are squeezed out once they are most of the list.
  if (notes.list.size() < 64 || notes.at.size() * 2 > notes.list.size()) return;
  std::vector<Note> kept;
  for (Note& n : notes.list) {
    if (!n) continue;
    notes.at[n.get()] = kept.size();
    kept.push_back(std::move(n));
  }
  notes.list.swap(kept);
}

// What an ending interrupt prints after cleaning up (the log's closing
// line for a drawing it leaves unwritten); null for nothing. Swapped with
// the ending signals held, read by the handler; never destroyed, like the
// notes.
Note& g_endingWords = *new Note;
std::size_t g_endingLength = 0;

// Runs in the handler, with the ending signals blocked.
void SayEndingWords() {
  const char* words = g_endingWords.get();
  std::size_t left = g_endingLength;
  while (words && left > 0) {
    ssize_t n = ::write(STDOUT_FILENO, words, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    words += n;
    left -= static_cast<std::size_t>(n);
  }
}

// Runs in the handler, with the ending signals blocked.
void CleanUpNow() {
  for (const Note& n : g_files.list) {
    if (n) ::unlink(n.get());
  }
  for (auto it = g_folders.list.rbegin(); it != g_folders.list.rend(); ++it) {
    if (*it) ::rmdir(it->get());
  }
}

void AddEndSignals(sigset_t& set) {
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  sigaddset(&set, SIGPIPE);
}

// Holds back the signals of `set` for the scope.
class SignalsHeld {
 public:
  explicit SignalsHeld(const sigset_t& set) { ::sigprocmask(SIG_BLOCK, &set, &old_); }
  ~SignalsHeld() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;

 private:
  sigset_t old_;
};

// How deep this thread is in WithEndSignalsHeld: a file made or removed
// notes itself from inside a hold, and the inner hold changes nothing.
thread_local int t_endSignalsHeld = 0;

sigset_t EndSignals() {
  sigset_t set;
  sigemptyset(&set);
  AddEndSignals(set);
  return set;
}

// The ending signals and the stop/continue pair, whose handlers also change
// the terminal.
sigset_t TerminalSignals() {
  sigset_t set = EndSignals();
  sigaddset(&set, SIGTSTP);
  sigaddset(&set, SIGCONT);
  return set;
}

// --- The terminal --------------------------------------------------------

termios g_original;                   // as the terminal was before the key mode
termios g_keyMode;                    // non-canonical, no echo, reads never wait
volatile sig_atomic_t g_saved = 0;    // the two above are filled in
volatile sig_atomic_t g_applied = 0;  // the key mode is in force
volatile sig_atomic_t g_resume = 0;   // a stop took the key mode away; SIGCONT puts it back
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_endHandling = 0;  // InstallEndHandlers was called

// Async-signal-safe: tcgetpgrp fails (and so differs) when standard input
// is not a terminal.
bool OwnsTerminal() {
  return ::tcgetpgrp(STDIN_FILENO) == ::getpgrp();
}

// Async-signal-safe. A process in the background that changed the settings
// would be stopped by SIGTTOU, so it leaves them alone; the shell that took
// the terminal over has set its own by then.
void RestoreTerminal() {
  if (!g_applied) return;
  g_applied = 0;
  if (OwnsTerminal()) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_original);
}

void RestoreAtExit() {
  RestoreTerminal();
}

// Ends the process by `sig` with its default action, as if no handler had
// been there.
void DieOf(int sig) {
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  ::sigaction(sig, &dfl, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(sig);
  ::_exit(128 + sig);
}

void OnEnd(int sig) {
  if (!g_endHandling) {
    // Only here because the terminal's mode was changed: the program keeps
    // the default action of the signal.
    RestoreTerminal();
    DieOf(sig);
  }
  if (sig == SIGINT && !g_interrupted) {
    g_interrupted = 1;
    return;
  }
  RestoreTerminal();
  CleanUpNow();
  // A reader that closed the pipe reads nothing more.
  if (sig != SIGPIPE) SayEndingWords();
  ::_exit(128 + sig);
}

void OnCrash(int sig) {
  RestoreTerminal();
  DieOf(sig);
}

struct sigaction StopAction();

void OnStop(int) {
  int savedErrno = errno;
  int hadKeyMode = g_applied;
  RestoreTerminal();
  g_resume = hadKeyMode;
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  sigemptyset(&dfl.sa_mask);
  ::sigaction(SIGTSTP, &dfl, nullptr);
  sigset_t set, old;
  sigemptyset(&set);
  sigaddset(&set, SIGTSTP);
  ::sigprocmask(SIG_UNBLOCK, &set, &old);
  ::raise(SIGTSTP);  // stops here until SIGCONT
  ::sigprocmask(SIG_SETMASK, &old, nullptr);
  struct sigaction again = StopAction();
  ::sigaction(SIGTSTP, &again, nullptr);
  errno = savedErrno;
}

// Also after SIGSTOP, which cannot be caught: the shell may have put its
// own settings on the terminal meanwhile.
void OnContinue(int) {
  int savedErrno = errno;
  if (g_resume || g_applied) {
    g_resume = 0;
    if (OwnsTerminal()) {
      g_applied = 1;
      ::tcsetattr(STDIN_FILENO, TCSANOW, &g_keyMode);
    } else {
      // Still in the background: the next PollEscapeKey in the foreground
      // takes the terminal again.
      g_applied = 0;
    }
  }
  errno = savedErrno;
}

struct sigaction ActionOf(void (*handler)(int), int flags) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigset_t mask = TerminalSignals();
  action.sa_mask = mask;
  return action;
}

struct sigaction StopAction() {
  return ActionOf(OnStop, SA_RESTART);
}

// Leaves alone a signal the program (or whoever started it) already
// handles or ignores: `nohup` ignores SIGHUP, a shell without job control
// makes background jobs ignore SIGINT.
bool IsDefault(int sig) {
  struct sigaction current {};
  if (::sigaction(sig, nullptr, &current) != 0) return false;
  return !(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_DFL;
}

void InstallIfDefault(int sig, const struct sigaction& action) {
  if (IsDefault(sig)) ::sigaction(sig, &action, nullptr);
}

void GuardTerminal() {
  std::atexit(RestoreAtExit);
  InstallIfDefault(SIGTSTP, StopAction());
  InstallIfDefault(SIGCONT, ActionOf(OnContinue, SA_RESTART));
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    InstallIfDefault(sig, ActionOf(OnEnd, SA_RESTART));
  }
  for (int sig : {SIGSEGV, SIGBUS, SIGABRT, SIGFPE, SIGILL, SIGQUIT}) {
    InstallIfDefault(sig, ActionOf(OnCrash, 0));
  }
}

bool TakeTerminal() {
  SignalsHeld held(TerminalSignals());
  if (!g_saved) {
    if (::tcgetattr(STDIN_FILENO, &g_original) != 0) return false;
    g_keyMode = g_original;
    // ISIG stays on so that Ctrl-C and Ctrl-Z still signal.
    g_keyMode.c_lflag &= ~(ICANON | ECHO);
    g_keyMode.c_cc[VMIN] = 0;
    g_keyMode.c_cc[VTIME] = 0;
    g_saved = 1;
    GuardTerminal();
  }
  g_applied = 1;
  if (::tcsetattr(STDIN_FILENO, TCSANOW, &g_keyMode) != 0) {
    g_applied = 0;
    return false;
  }
  return true;
}

// What has been typed since the last look, without waiting: poll() first,
// so that even a terminal that did not take the key mode never blocks us.
std::string WaitingInput() {
  std::string bytes;
  char buffer[256];
  // Bounded, so that a flood of input cannot hold the caller here.
  for (int round = 0; round < 64; ++round) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 0) != 1 || !(p.revents & POLLIN)) break;
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

}  // namespace

void WithEndSignalsHeld(const std::function<void()>& body) {
  if (t_endSignalsHeld > 0) return body();
  SignalsHeld held(EndSignals());
  struct Depth {
    Depth() { ++t_endSignalsHeld; }
    ~Depth() { --t_endSignalsHeld; }
  } depth;
  body();
}

void NoteCreatedFile(const std::string& native) {
  std::string path = AbsoluteNative(native);
  Note note = NoteOf(path);
  WithEndSignalsHeld([&] { Keep(g_files, path, std::move(note)); });
}

void NoteCreatedFolder(const std::string& native) {
  std::string path = AbsoluteNative(native);
  Note note = NoteOf(path);
  WithEndSignalsHeld([&] { Keep(g_folders, path, std::move(note)); });
}

void ForgetEntry(const std::string& native) {
  std::string path = AbsoluteNative(native);
  WithEndSignalsHeld([&] {
    Drop(g_files, path);
    Drop(g_folders, path);
  });
}

void SetEndingWords(const std::string& text) {
  // Only this thread sets them: no words to clear needs no hold.
  if (text.empty() && g_endingLength == 0 && !g_endingWords) return;
  Note words = text.empty() ? Note() : NoteOf(text);
  WithEndSignalsHeld([&] {
    g_endingWords.swap(words);
    g_endingLength = text.size();
  });
}

PendingCleanup WhatWouldBeCleanedUp() {
  PendingCleanup pending;
  WithEndSignalsHeld([&] {
    for (const Note& n : g_files.list) {
      if (n) pending.files.emplace_back(n.get());
    }
    for (auto it = g_folders.list.rbegin(); it != g_folders.list.rend(); ++it) {
      if (*it) pending.folders.emplace_back(it->get());
    }
  });
  return pending;
}

bool StdinIsForegroundTerminal() {
  return ::isatty(STDIN_FILENO) && OwnsTerminal();
}

bool InterruptRequested() {
  return g_interrupted != 0;
}

bool PollEscapeKey() {
  if (g_interrupted) return true;
  if (!StdinIsForegroundTerminal()) return false;
  if (!g_applied && !TakeTerminal()) return false;
  return HoldsEscapeKey(WaitingInput());
}

void ReleaseTerminalForQuestion() {
  SignalsHeld held(TerminalSignals());
  if (!g_applied) return;
  // Keys pressed during the work are not an answer to the question.
  if (OwnsTerminal()) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &g_original);
  g_applied = 0;
}

bool TakeTerminalForQuestion() {
  if (!StdinIsForegroundTerminal() || !TakeTerminal()) return false;
  // Keys pressed during the work are not an answer to the question.
  ::tcflush(STDIN_FILENO, TCIFLUSH);
  return true;
}

void InstallEndHandlers() {
  SignalsHeld held(TerminalSignals());
  g_endHandling = 1;
  // A closed standard output (a reader such as `head` that has seen
  // enough) ends the run as SIGTERM does, rather than by the default
  // action that would leave the reserved output and the work folder.
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) != 0) continue;
    if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN) continue;
    struct sigaction action = ActionOf(OnEnd, SA_RESTART);
    ::sigaction(sig, &action, nullptr);
  }
}

}  // namespace platform::posix
