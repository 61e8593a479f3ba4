// Where the program itself lies.
#pragma once

#include <string>

namespace platform {

// The native folder of the running program file.
std::string ProgramFolderNative();

}  // namespace platform
