// marrowfold: converts Jw_cad drawings into drawings that carry their images.
//
//   marrowfold [--home DIR] --dest-dir DIR [--drive X=DIR]... DRAWING.jww...
//
// Each drawing is written into the destination folder under a name that
// never overwrites a file; three lines per drawing tell what happened, and a
// failure's reason goes to standard error.
#include <cstdio>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "embed/staging.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "text/filenames.h"

namespace {

const char* const kUsage =
    "usage: marrowfold [--home DIR] --dest-dir DIR [--drive X=DIR]... [--plain-names]\n"
    "                  [--disable-missing] DRAWING.jww...\n"
    "  --home DIR         folder whose TEMP folder holds the images being staged\n"
    "                     (default: the program's folder)\n"
    "  --dest-dir DIR     folder the converted drawings are written into\n"
    "  --drive X=DIR      drive X: of the paths inside drawings lies at DIR\n"
    "  --plain-names      embed images under their plain file names (a.jpg, a~1.jpg)\n"
    "                     instead of names made from their whole path\n"
    "  --disable-missing  turn references to missing images into plain text\n";

void Fail(const std::string& message) {
  std::fprintf(stderr, "marrowfold: %s\n", message.c_str());
}

std::string Display(const std::string& sjis) {
  return platform::SjisToDisplay(sjis);
}

// A native folder argument in internal form, ending in "\".
bool InternalFolder(const std::string& native, std::string& folder) {
  std::string error;
  if (!platform::NativeToInternal(platform::AbsoluteNative(native), folder, error)) {
    Fail(error);
    return false;
  }
  folder = IncludeTrailingBackslash(folder);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string home, destination;
  bool plainNames = false, disableMissing = false;
  std::vector<std::string> drawings;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (a == "--home") {
      if (!value(home)) return Fail("--home needs a folder"), 2;
    } else if (a == "--dest-dir") {
      if (!value(destination)) return Fail("--dest-dir needs a folder"), 2;
    } else if (a == "--drive") {
      std::string mapping;
      if (!value(mapping) || mapping.size() < 3 || mapping[1] != '=' ||
          !((mapping[0] >= 'A' && mapping[0] <= 'Z') || (mapping[0] >= 'a' && mapping[0] <= 'z')))
        return Fail("--drive needs X=DIR"), 2;
      platform::Current().MapDrive(mapping[0], platform::AbsoluteNative(mapping.substr(2)));
    } else if (a == "--plain-names") {
      plainNames = true;
    } else if (a == "--disable-missing") {
      disableMissing = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      Fail("unknown option " + a);
      std::fputs(kUsage, stderr);
      return 2;
    } else {
      drawings.push_back(a);
    }
  }
  if (destination.empty() || drawings.empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  if (home.empty()) home = platform::ProgramFolderNative();

  std::string destFolder;
  if (!InternalFolder(home, ProgramFolder) || !InternalFolder(destination, destFolder)) return 2;
  if (!platform::Current().FolderExists(destFolder)) {
    Fail("the destination folder " + destination + " does not exist");
    return 2;
  }
  WorkFolder = ProgramFolder + "TEMP\\";
  std::string error;
  if (!CreateWorkFolder(error)) {
    Fail("cannot create the work folder " + Display(WorkFolder) + ": " + error);
    return 2;
  }

  TForm1 form;
  form.DisableMissingRefs = disableMissing;
  form.PathInEmbeddedName = !plainNames;
  bool allConverted = true;
  for (const std::string& native : drawings) {
    std::string absolute = platform::AbsoluteNative(native);
    std::string source;
    if (!platform::NativeToInternal(absolute, source, error)) {
      std::printf("%s\n", absolute.c_str());
      std::printf("\xE3\x80\x80\xE2\x80\xA6\xE2\x80\xA6 %s\n", Display(kResultFailed).c_str());
      Fail(error);
      allConverted = false;
      continue;
    }
    std::optional<std::string> output = MakeUniqueFileName(destFolder + ExtractFileName(source));
    std::printf("%s\n", absolute.c_str());
    if (!output) {
      std::printf("\xE3\x80\x80\xE2\x80\xA6\xE2\x80\xA6 %s\n", Display(kResultFailed).c_str());
      Fail(absolute + ": every branch number of its name is taken in the destination folder");
      allConverted = false;
      continue;
    }
    std::printf("\xE2\x86\x92 %s\n", platform::InternalToNative(*output).c_str());
    std::fflush(stdout);
    std::string result = form.ConvertFile(source, *output);
    std::printf("\xE3\x80\x80\xE2\x80\xA6\xE2\x80\xA6 %s\n", Display(result).c_str());
    std::fflush(stdout);
    for (const std::string& warning : form.Warnings) Fail(absolute + ": " + Display(warning));
    if (result == kResultFailed) {
      Fail(absolute + ": " + Display(form.FailureReason));
      allConverted = false;
    }
  }
  form.ResetConversion();
  RemoveWorkFolder();
  return allConverted ? 0 : 1;
}
