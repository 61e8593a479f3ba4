// A work folder for a test's conversions, set up the way the program sets
// it up at start and removed again; a drawing folder with an img/ folder
// beside it, and an empty destination.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "tests/testutil.h"
#include "text/unicode.h"

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramFolder = home.Internal();
    WorkFolder = SjisToUtf16(ProgramFolder + "TEMP\\");
    std::string reason;
    ASSERT_TRUE(CreateWorkFolder(reason)) << reason;
    std::filesystem::create_directories(dwg.Native("img"));
    std::filesystem::create_directories(out.path());
  }
  void TearDown() override {
    form.ResetConversion();
    RemoveWorkFolder();
  }

  // Converts dwg/NAME into `output`, by default out/NAME.
  std::string Convert(const std::string& name, const std::string& output = "") {
    return form.ConvertFile(dwg.Internal(name), output.empty() ? out.Internal(name) : output);
  }

  testutil::TempDir home, dwg, out;
  TForm1 form;
};
