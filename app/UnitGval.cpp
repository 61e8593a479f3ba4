#include "app/UnitGval.h"

std::u16string ProgramFolder;
std::u16string CurrentSourcePath;
std::vector<TStr2List> EmbeddedImages;
