#include "platform/program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/posix/services.h"
#include "platform/posix/signals.h"

namespace platform {

std::string ProgramFolderNative() {
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
}

bool FolderWritable(const std::string& native) {
  struct stat st;
  if (::stat(native.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  // access() rather than the mode bits: it also answers for root, and it
  // sees a read-only mount.
  return ::access(native.c_str(), W_OK | X_OK) == 0;
}

bool MakeFolders(const std::string& native, std::string& error) {
  error.clear();
  std::string path = native;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) {
    error = "no folder was given";
    return false;
  }
  // Each level in turn, from the first below the root.
  std::size_t end = path.find('/', path[0] == '/' ? 1 : 0);
  for (;;) {
    std::string level = path.substr(0, end);
    struct stat st;
    int failure = 0;
    if (::stat(level.c_str(), &st) == 0) {
      if (!S_ISDIR(st.st_mode)) failure = level == path ? EEXIST : ENOTDIR;
    } else if (::mkdir(level.c_str(), 0777) != 0) {
      // Another process may have made it meanwhile.
      failure = errno;
      if (failure == EEXIST && ::stat(level.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) failure = 0;
    }
    if (failure != 0) {
      error = "cannot create the folder \"" + native + "\"";
      if (level != path) error += " (at \"" + level + "\")";
      error += ": ";
      error += std::strerror(failure);
      return false;
    }
    if (end == std::string::npos) return true;
    end = path.find('/', end + 1);
  }
}

std::string UserStateFolderNative() {
  const char* state = std::getenv("XDG_STATE_HOME");
  // A relative value is to be ignored, as the base-directory rules say.
  if (state && state[0] == '/') {
    std::string folder = state;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder == "/" ? "/marrowfold" : folder + "/marrowfold";
  }
  std::string home = posix::HomeFolder();
  while (!home.empty() && home.back() == '/') home.pop_back();
  return home + "/.local/state/marrowfold";
}

void InstallInterruptHandling() {
  posix::InstallEndHandlers();
}

bool InterruptRequested() {
  return posix::InterruptRequested();
}

void SetEndingWords(const std::string& utf8) {
  posix::SetEndingWords(utf8);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

void WriteOut(bool toStderr, const std::string& utf8) {
  std::FILE* stream = toStderr ? stderr : stdout;
  // fwrite, not fputs: the text may hold a NUL byte and must stay whole.
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
  std::fflush(stream);
}

// A terminal has no message boxes: messages are always printed.
void MessagesToConsole(bool) {}
bool MessagesGoToConsole() {
  return true;
}

void ReportUnexpectedFailure(const std::string& utf8) {
  WriteOut(true, utf8.empty() || utf8.back() != '\n' ? utf8 + "\n" : utf8);
}

}  // namespace platform
