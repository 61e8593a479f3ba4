// The main window: real controls in front of TForm1. Before each handler
// the controls' values are copied into the form; afterwards what the form
// holds is shown. The window itself decides nothing about conversions.
#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "gui/controls.h"
#include "gui/handles.h"

namespace gui {

class MainWindow {
 public:
  // `arguments`: the command line after the program's own name.
  MainWindow(TForm1& form, std::vector<std::wstring> arguments);
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Creates and shows the window; the start-up of the form follows once
  // the window has been painted.
  bool Create(HINSTANCE instance, int show);
  // True when `message` was taken as keyboard navigation (Tab, arrows,
  // mnemonics, page switching) and must not be dispatched.
  bool TranslateNavigation(MSG& message);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

  void CreateControls();
  void ApplyDpi(UINT dpi, const RECT* suggested);
  void Layout();
  void ShowPage(int page);
  void UpdateTabStops();

  // False (after saying so) when Edit1 holds text Shift-JIS cannot hold.
  bool ControlsToForm();
  void FormToControls();
  // Runs one of the form's handlers between the two copies; false when a
  // failure escaped it (it has been reported).
  template <typename Handler>
  bool RunHandler(Handler&& handler);
  template <typename Action>
  bool Guarded(Action&& action);

  void OnStartup();
  void OnDropFiles(HDROP drop);
  void OnCommand(int id, int code);
  void CloseWindow();
  void StoreWindowPosition();

  void AddLogLine(const std::string& line);
  void RefillLog();
  void AppendLogLine(const std::wstring& line);

  HWND Control(ControlId id) const;
  bool Checked(ControlId id) const;
  void SetChecked(ControlId id, bool on);
  void SetText(ControlId id, const std::wstring& text);

  TForm1& form_;
  std::vector<std::wstring> arguments_;
  HWND window_ = nullptr;
  std::array<HWND, kControlCount> controls_{};
  // TabSheet1 and TabSheet2: the windows the pages' controls lie on.
  std::array<HWND, 2> pages_{};
  UINT dpi_ = 96;
  Font font_;
  Font linkFont_;
  int logExtent_ = 0;
  // A handler is under way: the modal dialogs it opens let messages in,
  // and none of them may start another handler or close the window.
  bool busy_ = false;
  bool closed_ = false;
};

}  // namespace gui
