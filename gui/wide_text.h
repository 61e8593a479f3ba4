// The window system speaks UTF-16; the program's text is Shift-JIS and its
// native paths are UTF-8. These are the only crossings between them.
#pragma once

#include <string>

#include "platform/platform.h"

namespace gui {

// Shift-JIS text for a person (with the paths of PathInText) as the window
// shows it.
std::wstring SjisToWide(const std::string& sjis);

std::wstring Utf8ToWide(const std::string& utf8);
std::string WideToUtf8(const std::wstring& wide);

// A path the window got (command line, drop, module file name) as an
// internal path: the same units, "/" taken for "\" as Windows does.
platform::Path WideToInternal(const std::wstring& path);
std::wstring PathToWide(const platform::Path& path);

// Failure texts carry UTF-8 from the system and Shift-JIS from the
// program's own messages; either is made readable.
std::wstring FailureTextToWide(const std::string& text);

}  // namespace gui
