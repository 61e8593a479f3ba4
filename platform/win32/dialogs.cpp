#include "platform/win32/dialogs.h"

#include "platform/win32/win32_os.h"
// After <windows.h>, which win32_os.h brings.
#include <commdlg.h>

#include "platform/win32/encoding.h"

namespace platform::win32 {

namespace {

// Room for some hundred chosen files with long names: a buffer too small
// makes the dialog fail as if cancelled.
constexpr std::size_t kFileBuffer = 1 << 16;

// The text of the request, for the dialog; bytes that do not decode show
// as U+FFFD (a title is display text).
std::wstring Wide(const std::string& sjis) {
  return Cp932ToWideLossy(sjis);
}

std::wstring Wide(const Path& path) {
  return std::wstring(path.begin(), path.end());
}

// What a dialog gets as its starting file name: the request's, cut to the
// buffer.
void FillFileName(std::vector<wchar_t>& buffer, const Path& fileName) {
  std::wstring name = Wide(fileName);
  if (name.size() >= buffer.size()) name.resize(buffer.size() - 1);
  std::copy(name.begin(), name.end(), buffer.begin());
  buffer[name.size()] = L'\0';
}

}  // namespace

std::wstring DialogFilter(const std::wstring& filter) {
  std::wstring out = filter;
  for (wchar_t& c : out) {
    if (c == L'|') c = L'\0';
  }
  // Ends every part, then the whole. A filter ending in "|" already has
  // its part ended.
  if (out.empty() || out.back() != L'\0') out += L'\0';
  out += L'\0';
  return out;
}

std::vector<std::wstring> ChosenFiles(const wchar_t* buffer, std::size_t size) {
  std::vector<std::wstring> parts;
  std::size_t i = 0;
  while (i < size && buffer[i] != L'\0') {
    std::size_t end = i;
    while (end < size && buffer[end] != L'\0') ++end;
    parts.emplace_back(buffer + i, end - i);
    i = end + 1;
  }
  if (parts.size() <= 1) return parts;
  std::wstring folder = parts[0];
  // A drive's root comes as "C:\", another folder without the "\".
  if (folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  std::vector<std::wstring> files;
  for (std::size_t k = 1; k < parts.size(); ++k) files.push_back(folder + parts[k]);
  return files;
}

bool RunOpenFilesDialog(const OpenDialogRequest& request, std::vector<Path>& files,
                        std::int32_t& filterIndex) {
  files.clear();
  std::vector<wchar_t> buffer(kFileBuffer, L'\0');
  FillFileName(buffer, request.fileName);
  const std::wstring filter = DialogFilter(Wide(request.filter));
  const std::wstring title = Wide(request.title);
  const std::wstring folder = Wide(request.initialFolder);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = ::GetActiveWindow();
  ofn.lpstrFilter = request.filter.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = request.filterIndex > 0 ? static_cast<DWORD>(request.filterIndex) : 1;
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST |
              OFN_HIDEREADONLY;
  if (!::GetOpenFileNameW(&ofn)) return false;

  for (const std::wstring& path : ChosenFiles(buffer.data(), buffer.size()))
    files.emplace_back(path.begin(), path.end());
  filterIndex = static_cast<std::int32_t>(ofn.nFilterIndex);
  return !files.empty();
}

bool RunSaveFileDialog(const SaveDialogRequest& request, Path& chosen) {
  std::vector<wchar_t> buffer(MAX_PATH * 4, L'\0');
  FillFileName(buffer, request.fileName);
  const std::wstring title = Wide(request.title);
  const std::wstring folder = Wide(request.initialFolder);

  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = ::GetActiveWindow();
  ofn.lpstrFile = buffer.data();
  ofn.nMaxFile = static_cast<DWORD>(buffer.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  // No overwrite prompt: the file name is never used, only its folder.
  ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
  if (!::GetSaveFileNameW(&ofn)) return false;

  const std::wstring path(buffer.data());
  chosen.assign(path.begin(), path.end());
  return true;
}

}  // namespace platform::win32
