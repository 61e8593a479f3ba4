// The main window's logic. Its controls are plain state here, so the whole
// conversion runs and is tested without any window system; the front ends
// (the command line, the Win32 window) set the controls and call the
// handlers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jww/jwwunit.h"

class TForm1 {
 public:
  TForm1();
  ~TForm1();

  // Controls of the settings page.
  bool CheckBox1 = false;     // disable references whose image is missing
  bool RadioButton5 = true;   // embedded names derived from the whole path
  bool RadioButton6 = false;  // plain file names with branch numbers

  // Options of the conversion, taken from the controls when a batch starts.
  bool DisableMissingRefs = false;
  bool PathInEmbeddedName = false;

  // Counters of the drawing being converted.
  std::int32_t EmbeddedRefCount = 0;
  std::int32_t EmbeddedRefInBlockCount = 0;
  std::int32_t MissingRefCount = 0;
  std::int32_t MissingRefInBlockCount = 0;

  // Why the last conversion failed (empty after a success), and what a
  // successful one could not do (an image reference CP932 cannot hold), for
  // a person: Shift-JIS text.
  std::string FailureReason;
  std::vector<std::string> Warnings;

  // The drawing object every conversion reuses.
  std::unique_ptr<TJwwData> Jww;

  // Converts one drawing into `output` and returns the result line.
  std::string ConvertFile(const std::string& source, const std::string& output);
  void ResetConversion();
  // Embeds the images of the loaded drawing into `workFolder`; false (with
  // FailureReason) when an image that exists could not be staged.
  bool EmbedImages(const std::string& workFolder);

 private:
  bool SaveThroughTemporary(const std::string& output);
};

// "変換ＯＫ(同梱ファイル数:F 画像文字数:R blk内:RB 不明画像文字:M blk内:MB)"
std::string ResultOkLine(std::size_t files, std::int32_t refs, std::int32_t refsInBlocks,
                         std::int32_t missing, std::int32_t missingInBlocks);
// "変換失敗"
extern const char* const kResultFailed;
