#include "app/UnitGval.h"

std::string ProgramFolder;
std::string CurrentSourcePath;
std::vector<TStr2List> EmbeddedImages;
