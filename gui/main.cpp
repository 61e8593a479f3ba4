// marrowfold.exe: the window of Marrowfold. Drawings come by the command
// line, by dropping them on the window or from the file dialog; "-G" runs
// Jw_cad's external transformation.
#include <windows.h>
// After <windows.h>, which they build on:
#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "app/Unit1.h"
#include "gui/controls.h"
#include "gui/handles.h"
#include "gui/main_window.h"
#include "gui/wide_text.h"

namespace {

std::wstring ModuleFileName() {
  // Paths may be longer than MAX_PATH; the call says so by filling the
  // whole buffer.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::vector<std::wstring> Arguments() {
  int count = 0;
  gui::ArgumentList list(CommandLineToArgvW(GetCommandLineW(), &count));
  std::vector<std::wstring> arguments;
  for (int i = 1; list && i < count; ++i) arguments.emplace_back(list.get()[i]);
  return arguments;
}

void Refuse(const std::string& utf8) {
  MessageBoxW(nullptr, gui::Utf8ToWide(utf8).c_str(), gui::SjisToWide(gui::kMessageCaption).c_str(),
              MB_OK | MB_ICONERROR);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls,
                                ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);

  TForm1 form;
  // The settings file and the work folder lie beside the program.
  form.ProgramFile = gui::WideToInternal(ModuleFileName());

  gui::MainWindow window(form, Arguments());
  if (!window.Create(instance, show)) {
    Refuse("The window could not be created.");
    return 1;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (window.TranslateNavigation(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return static_cast<int>(message.wParam);
}
