// The desktop services on a POSIX command line: the user's folders from
// xdg-user-dirs, messages on standard output, and a typed question in
// place of the save dialog.
#include "platform/posix/services.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "platform/posix/encoding.h"
#include "platform/posix/signals.h"
#include "platform/unicode.h"

namespace platform::posix {

namespace {

void StripFinalSlashes(std::string& path) {
  while (!path.empty() && path.back() == '/') path.pop_back();
}

// `home` followed by `rest` ("" or starting with "/").
std::string UnderHome(std::string home, const std::string& rest) {
  StripFinalSlashes(home);
  std::string path = home + rest;
  return path.empty() ? "/" : path;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

// The value of a line `key="value"`, its backslash escapes undone (the file
// is written for the shell to read). False for another key or a line that
// does not have that form.
bool QuotedValue(const std::string& line, const std::string& key, std::string& value) {
  std::size_t i = 0;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (line.compare(i, key.size(), key) != 0) return false;
  i += key.size();
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size() || line[i] != '=') return false;
  ++i;
  while (i < line.size() && IsBlank(line[i])) ++i;
  if (i >= line.size() || line[i] != '"') return false;
  value.clear();
  for (++i; i < line.size(); ++i) {
    char c = line[i];
    if (c == '"') return true;
    if (c == '\\' && i + 1 < line.size()) c = line[++i];
    value += c;
  }
  return false;
}

std::string Trimmed(const std::string& s) {
  std::size_t begin = 0, end = s.size();
  while (begin < end && IsBlank(s[begin])) ++begin;
  while (end > begin && IsBlank(s[end - 1])) --end;
  std::string t = s.substr(begin, end - begin);
  // A folder dragged into a terminal arrives quoted.
  if (t.size() >= 2 && (t[0] == '\'' || t[0] == '"') && t.back() == t[0]) {
    t = t.substr(1, t.size() - 2);
  }
  return t;
}

// The native folder an answer names.
std::string AnsweredFolder(const std::string& answer, const FolderPrompt& prompt) {
  std::string path;
  if (answer == "~" || answer.compare(0, 2, "~/") == 0) {
    path = UnderHome(prompt.home, answer.substr(1));
  } else if (answer[0] == '/') {
    path = answer;
  } else {
    path = UnderHome(prompt.currentFolder, "/" + answer);
  }
  path = std::filesystem::path(path).lexically_normal().string();
  StripFinalSlashes(path);
  return path.empty() ? "/" : path;
}

bool EndsWithSeparator(const Path& path) {
  return !path.empty() && (path.back() == u'\\' || path.back() == u'/');
}

Path InFolder(const Path& folder, const Path& name) {
  return EndsWithSeparator(folder) ? folder + name : folder + u"\\" + name;
}

// What one read() of standard input gives, once there is some; false at
// the end of input, on an error, or once the user interrupted. poll()
// rather than a plain read(): SA_RESTART would resume a read() after
// Ctrl-C and the question would stay, while poll() always returns, and its
// timeout covers a Ctrl-C that lands just before it.
bool ReadSomeInput(std::string& got) {
  char buffer[512];
  for (;;) {
    if (InterruptRequested()) return false;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    int ready = ::poll(&p, 1, 200);
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (ready == 0) continue;
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    if (n == 0) return false;  // the end of input, or the terminal hung up
    got.assign(buffer, static_cast<std::size_t>(n));
    return true;
  }
}

// A line from the terminal in its normal mode.
bool ReadQuestionLine(std::string& line) {
  line.clear();
  std::string got;
  while (ReadSomeInput(got)) {
    line += got;
    const std::size_t newline = line.find('\n');
    if (newline != std::string::npos) {
      line.resize(newline);
      return true;
    }
  }
  return false;
}

// The same, key by key, with the terminal in key mode (see LineEditor).
bool ReadQuestionKeys(std::string& line) {
  LineEditor editor;
  std::string got;
  while (ReadSomeInput(got)) {
    std::string echo;
    const LineEditor::Status status = editor.Feed(got, echo);
    std::fwrite(echo.data(), 1, echo.size(), stderr);
    std::fflush(stderr);
    if (status == LineEditor::Status::Abandoned) return false;
    if (status == LineEditor::Status::Entered) {
      line = editor.line;
      return true;
    }
  }
  return false;
}

// How many columns the last character of a UTF-8 line takes: kana, kanji
// and the full-width forms take two.
int LastCharacterWidth(const std::string& line, std::size_t& start) {
  start = line.size();
  while (start > 0 && (static_cast<unsigned char>(line[start - 1]) & 0xC0) == 0x80) --start;
  if (start > 0) --start;
  const unsigned char lead = static_cast<unsigned char>(line[start]);
  return lead >= 0xE3 ? 2 : 1;
}

void WriteToStderr(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

bool IsNativeFolder(const std::string& native) {
  struct stat st;
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string ConfigFolder(const std::string& home) {
  // Relative values are to be ignored, as the base-directory rules say.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return config;
  return UnderHome(home, "/.config");
}

}  // namespace

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  passwd entry;
  passwd* found = nullptr;
  char buffer[4096];
  if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
      found->pw_dir && *found->pw_dir) {
    return found->pw_dir;
  }
  return "";
}

std::string UserFolderFromConfig(const std::string& config, const std::string& key,
                                 const std::string& home, const std::string& fallbackName) {
  std::string folder;
  std::istringstream lines(config);
  std::string line, value;
  // The last line for the key wins, as when the shell sources the file.
  while (std::getline(lines, line)) {
    if (!QuotedValue(line, key, value)) continue;
    if (value.compare(0, 5, "$HOME") == 0 && (value.size() == 5 || value[5] == '/')) {
      // "$HOME/" is how xdg-user-dirs says the folder is disabled: it
      // falls back to the home folder itself.
      std::string rest = value.substr(5);
      StripFinalSlashes(rest);
      folder = UnderHome(home, rest);
    } else if (!value.empty() && value[0] == '/') {
      StripFinalSlashes(value);
      folder = value.empty() ? "/" : value;
    }
  }
  return folder.empty() ? UnderHome(home, "/" + fallbackName) : folder;
}

std::string MessageForTerminal(const std::string& sjis) {
  // 0x0D and 0x0A are never the second byte of a character, so the line
  // breaks can be found after the conversion.
  std::string text = SjisToDisplay(sjis);
  std::string out;
  out.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  if (out.empty() || out.back() != '\n') out += '\n';
  return out;
}

bool HoldsEscapeKey(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\x1B') continue;
    // CSI and SS3: what arrow, function and editing keys send.
    if (i + 1 < bytes.size() && (bytes[i + 1] == '[' || bytes[i + 1] == 'O')) {
      ++i;
      continue;
    }
    return true;
  }
  return false;
}

LineEditor::Status LineEditor::Feed(const std::string& bytes, std::string& echo) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (!pending.empty()) {
      // Inside a key's sequence: ESC "[" parameters and a final byte, or
      // ESC "O" and one byte. Such keys (arrows, a bracketed paste's
      // marks) do nothing here.
      if (pending.size() == 1) {
        if (c != '[' && c != 'O') return Status::Abandoned;
        pending += c;
      } else if (pending[1] == 'O' || (c >= 0x40 && c <= 0x7E)) {
        pending.clear();
      } else {
        pending += c;
      }
      continue;
    }
    if (c == '\x1B') {
      if (i + 1 == bytes.size()) return Status::Abandoned;
      pending = c;
    } else if (c == '\r' || c == '\n') {
      echo += "\n";
      return Status::Entered;
    } else if (c == '\x7F' || c == '\b') {
      if (line.empty()) continue;
      std::size_t start = 0;
      const int width = LastCharacterWidth(line, start);
      line.erase(start);
      for (int w = 0; w < width; ++w) echo += "\b \b";
    } else if (c == '\x15') {  // Ctrl-U: the whole answer
      while (!line.empty()) Feed("\x7F", echo);
    } else if (c == '\x04') {  // Ctrl-D: the end of input, as on a line of its own
      if (line.empty()) return Status::Abandoned;
    } else if (static_cast<unsigned char>(c) >= 0x20) {
      line += c;
      echo += c;
    }
  }
  return Status::Typing;
}

bool AskSaveFolder(const FolderPrompt& prompt, const Path& fileName, Path& chosen) {
  // The dialog's title is the question.
  const std::string question = prompt.title.empty() ? std::string("フォルダ") : prompt.title;
  for (;;) {
    prompt.write(question + " [" + prompt.startNative + "]: ");
    std::string line;
    if (!prompt.readLine(line)) {
      // Leaves the shell's next prompt on a line of its own.
      prompt.write("\n");
      return false;
    }
    std::string answer = Trimmed(line);
    Path folder;
    if (answer.empty()) {
      if (prompt.startInternal.empty()) {
        prompt.write("フォルダを入力してください\n");
        continue;
      }
      folder = prompt.startInternal;
    } else {
      std::string native = AnsweredFolder(answer, prompt);
      if (!prompt.isFolder(native)) {
        prompt.write("フォルダがありません: " + native + "\n");
        continue;
      }
      std::string error;
      if (!NativeToInternal(native, folder, error)) {
        prompt.write(error + "\n");
        continue;
      }
    }
    chosen = InFolder(folder, fileName);
    return true;
  }
}

Path UserFolderInternal(const std::string& key, const std::string& fallbackName) {
  std::string home = HomeFolder();
  if (home.empty()) return u"";
  std::ifstream file(ConfigFolder(home) + "/user-dirs.dirs", std::ios::binary);
  std::string config;
  if (file) config.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  Path internal;
  std::string error;
  if (!NativeToInternal(UserFolderFromConfig(config, key, home, fallbackName), internal, error)) {
    return u"";
  }
  // Only "/" itself ends in a separator.
  return EndsWithSeparator(internal) ? u"" : internal;
}

bool AskSaveFolderOnTerminal(const SaveDialogRequest& request, Path& chosen) {
  if (!StdinIsForegroundTerminal() || InterruptRequested()) return false;
  // Key by key when the terminal lets us, so that Esc can cancel.
  const bool byKeys = TakeTerminalForQuestion();
  if (!byKeys) ReleaseTerminalForQuestion();
  FolderPrompt prompt;
  prompt.title = SjisToDisplay(request.title);
  prompt.home = HomeFolder();
  prompt.currentFolder = AbsoluteNative(".");
  prompt.startInternal = request.initialFolder;
  if (prompt.startInternal.empty()) {
    std::string error;
    NativeToInternal(prompt.currentFolder, prompt.startInternal, error);
  }
  prompt.startNative =
      prompt.startInternal.empty() ? prompt.currentFolder : InternalToNative(prompt.startInternal);
  prompt.readLine = byKeys ? ReadQuestionKeys : ReadQuestionLine;
  prompt.write = WriteToStderr;
  prompt.isFolder = IsNativeFolder;
  return AskSaveFolder(prompt, request.fileName, chosen);
}

std::string FindInPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    if (folder.empty()) continue;
    const std::string candidate = folder + "/" + program;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
  }
  return "";
}

bool StartDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return false;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // Two forks: the program belongs to no one here, in a session of its
  // own, and is never waited for; the middle child ends at once.
  const pid_t middle = ::fork();
  if (middle < 0) return false;
  if (middle == 0) {
    // Our interrupt handling would delete this run's files: not the
    // child's business.
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP, SIGCONT}) ::signal(sig, SIG_DFL);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setsid();
    if (::fork() != 0) ::_exit(0);
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      if (null > 2) ::close(null);
    }
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace platform::posix
