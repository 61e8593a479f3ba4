#include "jww/jwwtype.h"

#include "text/widenames.h"

std::u16string WorkFolder;
std::u16string StagingFolder;
std::vector<TBindImageType> StagedImages;
bool ExtractImagesOnLoad = true;
bool WriteImagesOnSave = true;

void ClearStagedImages() {
  StagedImages.clear();
}

std::u16string StagedFileName(const TBindImageType& image) {
  return WideSpelling(image.Name, image.WideName);
}
