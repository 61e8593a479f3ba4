// A platform for the window's logic: the real file system (through
// FaultyOs, so faults can still be injected) and a scripted user in front
// of it: the desktop and documents folders, the Esc key, the dialogs and
// the messages shown. Installed as both halves (ScopedOs, ScopedDesktop).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "testing/faulty_os.h"

namespace testutil {

class FakeDesktop : public platform::FaultyOs, public platform::Desktop {
 public:
  platform::Path desktop, documents;  // no final "\"
  // Esc answers, one per poll; polls beyond the list answer false.
  std::deque<bool> escape;
  int escapePolls = 0;
  std::vector<std::string> messages;  // every message, in order
  std::vector<std::string> failures;  // those shown as failures

  // The next dialog answers: a chosen file path, or nothing for a cancel.
  std::deque<std::optional<platform::Path>> saveAnswers;
  std::vector<platform::SaveDialogRequest> saveRequests;
  std::deque<std::optional<std::vector<platform::Path>>> openAnswers;
  std::int32_t openFilterAnswer = 1;
  std::vector<platform::OpenDialogRequest> openRequests;

  // Takes the next scripted answer: false for a cancel (or none left).
  template <class T>
  static bool Next(std::deque<std::optional<T>>& answers, T& out) {
    if (answers.empty()) return false;
    std::optional<T> answer = answers.front();
    answers.pop_front();
    if (!answer) return false;
    out = *answer;
    return true;
  }

  // The registry as the test sets it, and the programs the shell was asked
  // to start.
  std::u16string registryValue;
  std::vector<std::string> registryKeys;
  struct ShellCall {
    platform::Path program, document, folder;
  };
  std::vector<ShellCall> shellCalls;

  std::u16string ClassesRootDefault(const std::string& key) override {
    registryKeys.push_back(key);
    return registryValue;
  }
  bool ShellOpen(const platform::Path& program, const platform::Path& document,
                 const platform::Path& folder) override {
    shellCalls.push_back({program, document, folder});
    return true;
  }

  platform::Path DesktopFolder() override { return desktop; }
  platform::Path DocumentsFolder() override { return documents; }
  bool EscapeKeyDown() override {
    ++escapePolls;
    if (escape.empty()) return false;
    bool down = escape.front();
    escape.pop_front();
    return down;
  }
  void ShowMessage(const std::string& text) override { messages.push_back(text); }
  void ShowFailureMessage(const std::string& text) override {
    messages.push_back(text);
    failures.push_back(text);
  }
  bool SaveFileDialog(const platform::SaveDialogRequest& request, platform::Path& chosen) override {
    saveRequests.push_back(request);
    return Next(saveAnswers, chosen);
  }
  bool OpenFilesDialog(const platform::OpenDialogRequest& request,
                       std::vector<platform::Path>& files, std::int32_t& filterIndex) override {
    openRequests.push_back(request);
    if (!Next(openAnswers, files)) return false;
    filterIndex = openFilterAnswer;
    return true;
  }
};

}  // namespace testutil
