// The main window's logic. Its controls are plain state here, so the whole
// program runs and is tested without any window system; the front ends
// (the command line, the Win32 window) set the controls, call the event
// handlers and show what the window shows (the log, the page, messages).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "embed/scan.h"
#include "embed/staging.h"
#include "jww/jwwunit.h"

// The log list: one entry per line, watched by a front end as lines come.
class TListBox {
 public:
  std::vector<std::string> Items;
  std::function<void(const std::string&)> OnAdd;

  void Clear() { Items.clear(); }
  void Add(const std::string& line);
};

// Where a batch writes, as settled once before it starts.
struct TDestination {
  enum class Kind { Folder, SameFolder, EndBatch };
  Kind kind = Kind::EndBatch;
  platform::Path folder;  // ends in "\" for Kind::Folder
};

// What the last batch did, for a front end that reports it.
struct TBatchReport {
  bool ran = false;      // the destination was settled and the log cleared
  int converted = 0;     // result "変換ＯＫ..."
  int failed = 0;        // result "変換失敗"
  bool stopped = false;  // Esc (or Ctrl-C) ended it early
};

class TForm1 {
 public:
  TForm1();
  ~TForm1();
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  // The program file (internal path); the program folder and the settings
  // file are found from it. Set by the front end before FormShow.
  platform::Path ProgramFile;

  // The window's position and the page shown (PageControl1: 0 settings,
  // 1 log).
  std::int32_t Left = 192;
  std::int32_t Top = 133;
  int ActivePage = 0;

  // Destination group "保存先(&F)": RadioButton1 desktop, 2 My Documents,
  // 3 the source's folder, 4 the folder in Edit1, 7 ask at every batch.
  bool RadioButton1 = true;
  bool RadioButton2 = false;
  bool RadioButton3 = false;
  bool RadioButton4 = false;
  bool RadioButton7 = false;
  platform::Path Edit1;
  platform::Path LabelPreFolder;  // the folder picked last with "毎回指定"
  // Settings page.
  bool CheckBox1 = false;     // disable references whose image is missing
  bool RadioButton5 = true;   // embedded names derived from the whole path
  bool RadioButton6 = false;  // plain file names with branch numbers
  platform::Path Label1;      // folder of the last file chosen in the file dialog
  std::int32_t OpenFilterIndex = 1;
  TListBox ListBox1;

  // Sets radio button `number` (1-7) as a click or the settings file does:
  // true clears the other buttons of its group, false clears only it.
  void SetRadioButton(int number, bool value);

  // Options of the conversion, taken from the controls when a batch starts.
  bool DisableMissingRefs = false;
  bool PathInEmbeddedName = false;
  // Looks for a missing image by its file name beside the drawing too.
  bool LookBeside = false;

  std::vector<platform::Path> InputQueue;

  // The external-transformation mode: whether it opens TEMP.JWW in Jw_cad
  // at the end, and whether its last run wrote TEMP.JWW.
  bool OpenInJwCad = true;
  bool ExternalWritten = false;

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
  // Why start-up could not make the work folder (empty when it could).
  std::string StartupError;

  TBatchReport LastBatch;
  // Called after each file's result line, while FailureReason and
  // Warnings still tell about that file.
  std::function<void(const platform::Path& source, const std::string& result)> OnFileConverted;

  // The drawing object every conversion reuses; there from FormShow to
  // FormClose.
  std::unique_ptr<TJwwData> Jww;
  // The images this run has compressed: a batch's drawings that show one
  // image deflate it once.
  TDeflatedImages DeflatedImages;

  // Event handlers.
  // FormShow = Startup, then RunCommandLine (unless Startup failed, which
  // is shown in a message); after the external mode the window closes
  // (FormClose). A front end that adjusts the controls between the settings
  // and the batch calls the parts itself.
  void FormShow(const std::vector<platform::Path>& args);
  bool Startup();
  void RunCommandLine(const std::vector<platform::Path>& args);
  void FormClose();
  void OnDropFiles(const std::vector<platform::Path>& paths);
  void Label3Click();
  // What Label3Click does once the dialog gave its files and filter index.
  void OpenDialogChosen(const std::vector<platform::Path>& files, std::int32_t filterIndex);
  void Button1Click();

  // True when the path was queued: a file that exists, named *.jww in any
  // letter case.
  bool AddInputFile(const platform::Path& path);
  void ConvertQueue();
  TDestination ChooseDestinationFolder();

  platform::Path SettingsPath() const;
  void LoadSettings(const platform::Path& path);
  // False when the file could not be written; the previous file is then
  // left as it was.
  bool SaveSettings(const platform::Path& path);

  // The external-transformation mode ("-G"): JWC_TEMP.TXT in the program
  // folder names the drawing, which becomes TEMP.JWW there.
  void RunExternalTransformation();
  platform::Path ReadExternalDrawingPath();
  platform::Path FindJwCadExecutable();

  // Converts one drawing into `output` and returns the result line.
  std::string ConvertFile(const platform::Path& source, const platform::Path& output);
  void ResetConversion();
  // Embeds the images of the loaded drawing into `workFolder`; false (with
  // FailureReason) when an image that exists could not be staged.
  bool EmbedImages(const std::u16string& workFolder);

 private:
  // An output name taken for the coming conversion: a file
  // beside it that no other run can take, and which becomes the output.
  std::optional<platform::Path> ReserveOutput(const platform::Path& base);
  bool SaveThroughTemporary(const platform::Path& output);
  void ConvertOne(const platform::Path& source, const TDestination& destination);

  bool replaceOutput_ = false;  // TEMP.JWW of the external mode
  platform::Path reservedFor_;
  platform::Path reservedTemporary_;
  // The reserved temporary, open and empty: the drawing is written into it
  // without opening it again.
  std::unique_ptr<platform::File> reservedFile_;
};

// "変換ＯＫ(同梱ファイル数:F 画像文字数:R blk内:RB 不明画像文字:M blk内:MB)"
std::string ResultOkLine(std::size_t files, std::int32_t refs, std::int32_t refsInBlocks,
                         std::int32_t missing, std::int32_t missingInBlocks);
// "変換失敗"
extern const char* const kResultFailed;
// The log's fixed texts: "→ " before the output, "　…… " before the
// result, and the line of a batch stopped with Esc.
extern const char* const kLogArrow;
extern const char* const kLogResult;
extern const char* const kLogEscape;

// A folder with "\" appended unless it ends in one.
platform::Path AppendSeparator(const platform::Path& folder);
// "JWC_TEMP.TXT" and "TEMP.JWW", the files of the external mode in the
// program folder.
extern const char* const kExternalDataFile;
extern const char* const kExternalOutputFile;
// Exactly one argument "-G" or "/G", in any letter case.
bool IsExternalModeSwitch(const std::vector<platform::Path>& args);
