#include "jww/jwwtype.h"

std::string WorkFolder;
std::string StagingFolder;
std::vector<TBindImageType> StagedImages;
bool ExtractImagesOnLoad = true;
bool WriteImagesOnSave = true;

void ClearStagedImages() {
  StagedImages.clear();
}
