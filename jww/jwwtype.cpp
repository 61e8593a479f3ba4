#include "jww/jwwtype.h"

#include "text/widenames.h"

std::vector<TBindImageType> StagedImages;

void ClearStagedImages() {
  StagedImages.clear();
}

std::u16string StagedFileName(const TBindImageType& image) {
  return WideSpelling(image.Name, image.WideName);
}
