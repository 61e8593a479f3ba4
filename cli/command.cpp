#include "cli/command.h"

#include <getopt.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/Unit1.h"
#include "app/UnitGval.h"
#include "cli/info.h"
#include "platform/platform.h"
#include "platform/program.h"
#include "platform/unicode.h"
#include "text/filenames.h"
#include "text/sjis.h"

const char* const kMarrowfoldVersion = "Marrowfold Ver.1.3";

namespace {

const char* const kUsage =
    "usage: marrowfold [OPTIONS] DRAWING.jww...\n"
    "       marrowfold --info [--json] [--look-beside] DRAWING.jww...\n"
    "       marrowfold --save-settings OPTIONS\n"
    "       marrowfold [--home DIR] [--drive X=DIR]... [--disable-missing|--keep-missing]\n"
    "                  [--no-open] -G\n"
    "Copies every image a Jw_cad drawing refers to into the drawing itself and\n"
    "writes it as a JWW 7.00 drawing, never over an existing file.\n"
    "\n"
    "  --dest desktop|documents|source|ask\n"
    "                        where the converted drawings go: the desktop, the\n"
    "                        documents folder, beside each source (plan~1.jww),\n"
    "                        or a folder asked for at the start of the batch\n"
    "  --dest-dir DIR        into the folder DIR\n"
    "  --names path|plain    embedded image names made from the whole path\n"
    "                        (C__img_a.jpg) or plain file names (a.jpg, a~1.jpg)\n"
    "  --plain-names         the same as --names plain\n"
    "  --disable-missing     references to missing images become plain text\n"
    "                        (_@BM...) in the auxiliary-line colour\n"
    "  --keep-missing        references to missing images stay as they are\n"
    "  --look-beside         a missing image is also looked for by its file\n"
    "                        name in the drawing's own folder\n"
    "  --drive X=DIR         drive X: of the paths inside drawings lies at DIR\n"
    "  --home DIR            the folder of the settings file (marrowfold.dat)\n"
    "                        and of the work folder TEMP\n"
    "  --save-settings       keep the options given as the stored choices\n"
    "  --info                describe drawings and their image references;\n"
    "                        writes nothing\n"
    "  --json                with --info: one JSON document per drawing, each on\n"
    "                        a line of its own (JSON Lines)\n"
    "  -G, /G                Jw_cad's external transformation: converts the\n"
    "                        drawing JWC_TEMP.TXT in the program folder names\n"
    "                        into TEMP.JWW there, and opens it\n"
    "  --no-open             with -G: do not open TEMP.JWW afterwards\n"
    "  --help, --version\n"
    "Without options the stored choices apply (at first: the desktop, names\n"
    "from the whole path, missing references kept).\n";

// Everything the command prints goes through WriteOut: a Windows console
// gets UTF-16 (Japanese shows whatever its code page), every other stream
// the UTF-8 bytes. As with the C strings printed before, a text ends at a
// NUL byte.
void Out(bool toStderr, const std::string& text) {
  platform::WriteOut(toStderr, std::string(text.c_str()));
}

void Warn(const std::string& message) {
  Out(true, "marrowfold: " + std::string(message.c_str()) + "\n");
}

void Print(const std::string& line) {
  Out(false, std::string(line.c_str()) + "\n");
}

std::string Display(const std::string& sjis) {
  return platform::SjisToDisplay(sjis);
}

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The stop line when Ctrl-C, not Esc, stopped the batch: a person who
// pressed Ctrl-C would not recognise "[ESC]".
const char* const kCtrlCStop = "[Ctrl-C]を押しましたので中断します。";
// What closes the log of a drawing in hand when the run is ended at once:
// the arrow line before it names a file that was never made.
const char* const kNothingWritten = "中断しました。この図面は書き出していません。";

// A log line for a person: paths as native absolute paths, texts in UTF-8.
// The log's lines come in the window's fixed shapes, so the shape tells
// which is a path.
std::string DisplayLogLine(const std::string& line) {
  // The output is not there yet: its name needs no lookup.
  if (StartsWith(line, kLogArrow))
    return Display(kLogArrow) +
           platform::NewPathToDisplay(TextForPerson(line.substr(std::strlen(kLogArrow))));
  if (line == kLogEscape && platform::InterruptRequested()) return kCtrlCStop;
  if (StartsWith(line, kLogResult) || line == kLogEscape) return Display(line);
  return platform::InternalToDisplay(TextForPerson(line));
}

// Prints a log line. From a drawing's arrow line to its result line the
// drawing is in hand: an interrupt that ends the run meanwhile closes its
// log with the line that says nothing was written.
void PrintLogLine(const std::string& line) {
  const bool inHand = StartsWith(line, kLogArrow);
  if (inHand) platform::SetEndingWords(Display(kLogResult) + kNothingWritten + "\n");
  Print(DisplayLogLine(line));
  if (!inHand) platform::SetEndingWords("");
}

struct Options {
  std::string home;
  std::optional<std::string> dest;     // desktop, documents, source, ask
  std::optional<std::string> destDir;  // native
  std::optional<bool> disableMissing;
  std::optional<bool> plainNames;
  bool lookBeside = false;
  bool saveSettings = false;
  bool info = false;
  bool json = false;
  bool noOpen = false;
  // Options given that the settings file has no line for.
  std::vector<std::string> unstorable;
  std::vector<std::string> operands;
};

enum OptionId {
  kHome = 256,
  kDest,
  kDestDir,
  kDisableMissing,
  kKeepMissing,
  kNames,
  kPlainNames,
  kLookBeside,
  kDrive,
  kSaveSettings,
  kInfo,
  kJson,
  kNoOpen,
  kHelp,
  kVersion,
};

const struct option kLongOptions[] = {
    {"home", required_argument, nullptr, kHome},
    {"dest", required_argument, nullptr, kDest},
    {"dest-dir", required_argument, nullptr, kDestDir},
    {"disable-missing", no_argument, nullptr, kDisableMissing},
    {"keep-missing", no_argument, nullptr, kKeepMissing},
    {"names", required_argument, nullptr, kNames},
    {"plain-names", no_argument, nullptr, kPlainNames},
    {"look-beside", no_argument, nullptr, kLookBeside},
    {"drive", required_argument, nullptr, kDrive},
    {"save-settings", no_argument, nullptr, kSaveSettings},
    {"info", no_argument, nullptr, kInfo},
    {"json", no_argument, nullptr, kJson},
    {"no-open", no_argument, nullptr, kNoOpen},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

int UsageError(const std::string& message) {
  if (!message.empty()) Warn(message);
  Out(true, kUsage);
  return 2;
}

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool HasControl(const std::string& s) {
  for (unsigned char c : s)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

void Unstorable(Options& o, const std::string& option) {
  for (const std::string& given : o.unstorable)
    if (given == option) return;
  o.unstorable.push_back(option);
}

// Parses the arguments; a status to exit with when the run ends here.
std::optional<int> Parse(int argc, char** argv, Options& o) {
  // getopt keeps its place in globals: start afresh for every call. glibc
  // and MinGW-w64's getopt (OpenBSD's, whose optreset needs _BSD_SOURCE)
  // both take optind = 0 for a full reset.
#if defined(__GLIBC__) || defined(__MINGW32__)
  optind = 0;
#else
  optreset = 1;
  optind = 1;
#endif
  opterr = 0;
  // "-" first: operands come back in order as code 1, so "-G" and "/G" keep
  // their places among the drawings.
  int c;
  while ((c = getopt_long(argc, argv, "-:Ggh", kLongOptions, nullptr)) != -1) {
    const std::string value = optarg ? optarg : "";
    switch (c) {
      case 1:
        o.operands.push_back(value);
        break;
      case 'G':
      case 'g':
        o.operands.push_back(std::string("-") + static_cast<char>(c));
        break;
      case kHome:
        o.home = value;
        break;
      case kDest:
        if (value != "desktop" && value != "documents" && value != "source" && value != "ask")
          return UsageError("--dest takes desktop, documents, source or ask");
        o.dest = value;
        o.destDir.reset();
        break;
      case kDestDir:
        if (value.empty()) return UsageError("--dest-dir needs a folder");
        if (HasControl(value)) return UsageError("--dest-dir: a folder name with a line break");
        o.destDir = value;
        o.dest.reset();
        break;
      case kDisableMissing:
        o.disableMissing = true;
        break;
      case kKeepMissing:
        o.disableMissing = false;
        break;
      case kNames:
        if (value != "path" && value != "plain") return UsageError("--names takes path or plain");
        o.plainNames = value == "plain";
        break;
      case kPlainNames:
        o.plainNames = true;
        break;
      case kLookBeside:
        o.lookBeside = true;
        Unstorable(o, "--look-beside");
        break;
      case kDrive:
        if (value.size() < 3 || value[1] != '=' || !IsDriveLetter(value[0]))
          return UsageError("--drive takes X=DIR, a drive letter and a folder");
        platform::Current().MapDrive(value[0], platform::AbsoluteNative(value.substr(2)));
        Unstorable(o, "--drive");
        break;
      case kSaveSettings:
        o.saveSettings = true;
        break;
      case kInfo:
        o.info = true;
        break;
      case kJson:
        o.json = true;
        break;
      case kNoOpen:
        o.noOpen = true;
        break;
      case kHelp:
      case 'h':
        Out(false, kUsage);
        return 0;
      case kVersion:
        Print(kMarrowfoldVersion);
        return 0;
      case ':':
        return UsageError(std::string(argv[optind - 1]) + " needs a value");
      default:
        return UsageError(std::string("unknown option ") + argv[optind - 1]);
    }
  }
  for (int i = optind; i < argc; ++i) o.operands.push_back(argv[i]);
  if (o.json && !o.info) return UsageError("--json goes with --info");
  return std::nullopt;
}

// A native path in internal form, made absolute first; "" (and a warning
// naming it) when it cannot name one file.
platform::Path InternalPath(const std::string& native) {
  platform::Path internal;
  std::string error;
  if (!platform::NativeToInternal(platform::AbsoluteNative(native), internal, error)) {
    Warn(error);
    return u"";
  }
  return internal;
}

int RunInfo(const Options& o) {
  if (o.operands.empty()) return UsageError("--info needs drawings");
  InfoOptions options;
  options.json = o.json;
  options.lookBeside = o.lookBeside;
  bool allRead = true;
  for (const std::string& native : o.operands) {
    const platform::Path internal = InternalPath(native);
    std::string out;
    if (internal.empty() || !DescribeDrawing(internal, options, out)) allRead = false;
    Out(false, out);
  }
  return allRead ? 0 : 1;
}

// The program folder: --home, else the program's own folder when it can be
// written, else the user's state folder (an installed copy).
platform::Path HomeFolder(const Options& o, std::string& error) {
  std::string native = o.home;
  if (native.empty()) {
    native = platform::ProgramFolderNative();
    if (!platform::FolderWritable(native)) native = platform::UserStateFolderNative();
  }
  native = platform::AbsoluteNative(native);
  if (!platform::MakeFolders(native, error)) return u"";
  platform::Path internal;
  if (!platform::NativeToInternal(native, internal, error)) return u"";
  return IncludeTrailingBackslash(internal);
}

// Why intake skipped a named path, for the warning a person gets.
std::string SkipReason(const platform::Path& internal) {
  platform::Os& os = platform::Current();
  if (os.FolderExists(internal)) return "is a folder, not a drawing";
  if (!os.FileExists(internal)) return "no such file";
  return "not a .jww drawing";
}

// The controls the options set, so that they can be put back: the stored
// choices stay what they were unless --save-settings.
struct Choices {
  bool rb[8] = {};
  platform::Path edit1;
  bool checkBox1 = false;
};

Choices Take(const TForm1& f) {
  Choices c;
  c.rb[1] = f.RadioButton1;
  c.rb[2] = f.RadioButton2;
  c.rb[3] = f.RadioButton3;
  c.rb[4] = f.RadioButton4;
  c.rb[5] = f.RadioButton5;
  c.rb[6] = f.RadioButton6;
  c.rb[7] = f.RadioButton7;
  c.edit1 = f.Edit1;
  c.checkBox1 = f.CheckBox1;
  return c;
}

void Restore(TForm1& f, const Choices& c) {
  f.RadioButton1 = c.rb[1];
  f.RadioButton2 = c.rb[2];
  f.RadioButton3 = c.rb[3];
  f.RadioButton4 = c.rb[4];
  f.RadioButton5 = c.rb[5];
  f.RadioButton6 = c.rb[6];
  f.RadioButton7 = c.rb[7];
  f.Edit1 = c.edit1;
  f.CheckBox1 = c.checkBox1;
}

// Converts the queued drawings. A folder asked for is first proposed as
// the current one, where a person at a command line is, until one was
// chosen: the program's own folder means nothing to them.
void ConvertAsked(TForm1& f) {
  const bool asks = !(f.RadioButton1 || f.RadioButton2 || f.RadioButton3 || f.RadioButton4);
  const platform::Path chosenBefore = f.LabelPreFolder;
  const bool propose = asks && IncludeTrailingBackslash(chosenBefore) == ProgramFolder;
  if (propose) {
    const platform::Path current = InternalPath(".");
    if (!current.empty()) f.LabelPreFolder = current;
  }
  f.ConvertQueue();
  // Cancelled: nothing was chosen, and the stored choice stays.
  if (propose && !f.LastBatch.ran) f.LabelPreFolder = chosenBefore;
}

bool Apply(const Options& o, TForm1& f) {
  if (o.dest) {
    const int button = *o.dest == "desktop"     ? 1
                       : *o.dest == "documents" ? 2
                       : *o.dest == "source"    ? 3
                                                : 7;
    f.SetRadioButton(button, true);
  }
  if (o.destDir) {
    const platform::Path folder = InternalPath(*o.destDir);
    if (folder.empty()) return false;
    f.SetRadioButton(4, true);
    f.Edit1 = folder;
  }
  if (o.disableMissing) f.CheckBox1 = *o.disableMissing;
  if (o.plainNames) f.SetRadioButton(*o.plainNames ? 6 : 5, true);
  f.LookBeside = o.lookBeside;
  return true;
}

}  // namespace

int MarrowfoldMain(int argc, char** argv) {
  Options o;
  if (std::optional<int> status = Parse(argc, argv, o)) return *status;
  if (o.info) return RunInfo(o);
  // "-G" is ASCII: its bytes widened are its units.
  const bool external =
      o.operands.size() == 1 &&
      IsExternalModeSwitch({platform::Path(o.operands[0].begin(), o.operands[0].end())});
  if (external && (o.dest || o.destDir || o.plainNames || o.saveSettings || o.lookBeside))
    return UsageError(
        "-G takes only --home, --drive, --disable-missing, --keep-missing and --no-open");
  if (o.noOpen && !external) return UsageError("--no-open goes with -G");
  if (o.operands.empty() && !o.saveSettings) return UsageError("");

  std::string error;
  const platform::Path home = HomeFolder(o, error);
  // Not a usage error: the same command may work another time.
  if (home.empty()) {
    Warn("the program folder cannot be used: " + error);
    return 1;
  }

  TForm1 form;
  form.ProgramFile = home + u"marrowfold";
  form.ListBox1.OnAdd = PrintLogLine;
  form.OnFileConverted = [&form](const platform::Path& source, const std::string& result) {
    const bool failed = result == kResultFailed;
    // The source's name as the disk spells it costs a lookup: only taken
    // for a drawing with something to say.
    if (form.Warnings.empty() && !failed) return;
    const std::string shown = platform::InternalToDisplay(source);
    for (const std::string& warning : form.Warnings) Warn(shown + ": " + Display(warning));
    if (failed) Warn(shown + ": " + Display(form.FailureReason));
  };

  const bool started = form.Startup();
  const Choices stored = Take(form);
  int status = 0;
  if (!started) {
    Warn(Display(form.StartupError));
    status = 1;
  } else if (!Apply(o, form)) {
    status = 2;
  } else if (external) {
    form.OpenInJwCad = !o.noOpen;
    form.RunExternalTransformation();
    if (!form.FailureReason.empty()) Warn(Display(form.FailureReason));
    status = form.ExternalWritten ? 0 : 1;
  } else if (!o.operands.empty()) {
    int skipped = 0;
    form.InputQueue.clear();
    for (const std::string& native : o.operands) {
      const platform::Path internal = InternalPath(native);
      if (internal.empty()) {
        ++skipped;
      } else if (!form.AddInputFile(internal)) {
        Warn(platform::AbsoluteNative(native) + ": " + SkipReason(internal));
        ++skipped;
      }
    }
    if (form.InputQueue.empty()) {
      status = 1;
    } else {
      ConvertAsked(form);
      const TBatchReport& b = form.LastBatch;
      const bool whole = b.ran && !b.stopped && b.failed == 0 && skipped == 0;
      status = whole ? 0 : 1;
    }
  }
  if (!o.saveSettings || status == 2 || !started) Restore(form, stored);
  form.FormClose();
  if (o.saveSettings && started && status != 2 && !o.unstorable.empty()) {
    std::string list;
    for (const std::string& option : o.unstorable) list += (list.empty() ? "" : ", ") + option;
    Warn("not stored in the settings (they hold for this run only): " + list);
  }
  return status;
}
