// `marrowfold --info`: what a drawing holds and where its images lie, told
// without changing anything on disk. Converting is the wrong way to find out
// why a drawing's images are missing: it writes files, and it rewrites the
// very references one wants to look at.
#pragma once

#include <string>

#include "platform/platform.h"

struct InfoOptions {
  bool json = false;        // one JSON document (one line) instead of lines for a person
  bool lookBeside = false;  // resolve references as a conversion with the same option would
};

// Reads the drawing at `internalPath` (Windows-form Shift-JIS) and appends
// its facts, UTF-8, to `out`. True when the drawing was read fully; a
// drawing that could not be opened or was read only in part is reported in
// `out` too, with the reason. Writes no file and no folder, and leaves the
// staged images and the image-extraction switch as it found them.
bool DescribeDrawing(const platform::Path& internalPath, const InfoOptions& options,
                     std::string& out);
