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
#include "testing/testutil.h"

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ProgramFolder = home.Path();
    WorkFolder = ProgramFolder + u"TEMP\\";
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
  std::string Convert(const std::string& name, const platform::Path& output = {}) {
    return form.ConvertFile(dwg.Path(name), output.empty() ? out.Path(name) : output);
  }

  testutil::TempDir home, dwg, out;
  TForm1 form;
};
