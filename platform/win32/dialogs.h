// The common file dialogs of the Win32 Os, and the two pieces of text work
// around them that can be tried without a dialog. No OS header may come in
// here: tests include it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace platform::win32 {

// The filter text of a request ("label|pattern|label|pattern", as the
// window system's filter property has it), already in UTF-16, in the form
// OPENFILENAMEW wants: each part ended by a NUL, the whole by a second NUL.
// The "|" is looked for only after the conversion from CP932: 0x7C can be
// the second byte of a double-byte character.
std::wstring DialogFilter(const std::wstring& filter);

// The files of a multi-select explorer dialog's buffer (`size` units):
// "folder\0name\0name\0\0" for several, "fullpath\0\0" for one. Full
// paths, in the dialog's order; empty for an empty buffer.
std::vector<std::wstring> ChosenFiles(const wchar_t* buffer, std::size_t size);

bool RunOpenFilesDialog(const OpenDialogRequest& request, std::vector<Path>& files,
                        std::int32_t& filterIndex);
bool RunSaveFileDialog(const SaveDialogRequest& request, Path& chosen);

}  // namespace platform::win32
