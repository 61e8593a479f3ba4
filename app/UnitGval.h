// The values the conversion shares across its parts.
#pragma once

#include <string>
#include <vector>

// One image file found in the drawing being converted.
struct TStr2List {
  std::string SourcePath;    // where the image file was found
  std::string EmbeddedName;  // its name in the staging folder and the references
};

// The folder of the program file, ending in "\".
extern std::string ProgramFolder;
// The full path of the drawing being converted.
extern std::string CurrentSourcePath;
// One row per distinct image file of the drawing being converted.
extern std::vector<TStr2List> EmbeddedImages;
