// The values the conversion shares across its parts.
#pragma once

#include <string>
#include <vector>

#include "embed/scan.h"

// The folder of the program file, ending in "\".
extern std::u16string ProgramFolder;
// The full path of the drawing being converted.
extern std::u16string CurrentSourcePath;
// One row per distinct image file of the drawing being converted.
extern std::vector<TStr2List> EmbeddedImages;
