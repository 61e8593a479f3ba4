#include "gui/controls.h"

namespace gui {

namespace {

// 保存先(&F)
const char kGroupBox1Text[] = "\x95\xDB\x91\xB6\x90\xE6(&F)";
// デスクトップ
const char kRadioButton1Text[] =
    "\x83"
    "f\x83X\x83N\x83g\x83"
    "b\x83v";
// マイドキュメント
const char kRadioButton2Text[] =
    "\x83}\x83"
    "C\x83h\x83L\x83\x85\x83\x81\x83\x93\x83g";
// 元ファイルのフォルダ
const char kRadioButton3Text[] =
    "\x8C\xB3\x83t\x83@\x83"
    "C\x83\x8B\x82\xCC\x83t\x83H\x83\x8B\x83_";
// 指定フォルダ
const char kRadioButton4Text[] = "\x8Ew\x92\xE8\x83t\x83H\x83\x8B\x83_";
// 参照
const char kButton1Text[] = "\x8EQ\x8F\xC6";
// 毎回指定
const char kRadioButton7Text[] = "\x96\x88\x89\xF1\x8Ew\x92\xE8";
// エクスプローラ等からドラッグ＆ドロップするか、または、
const char kLabel2Text[] =
    "\x83G\x83N\x83X\x83v\x83\x8D\x81[\x83\x89\x93\x99\x82\xA9\x82\xE7\x83h\x83\x89\x83"
    "b\x83O\x81\x95\x83h\x83\x8D\x83"
    "b\x83v\x82\xB7\x82\xE9\x82\xA9\x81"
    "A\x82\xDC\x82\xBD\x82\xCD\x81"
    "A";
// ここをクリックして変換するファイルを選択して下さい。
const char kLabel3Text[] =
    "\x82\xB1\x82\xB1\x82\xF0\x83N\x83\x8A\x83"
    "b\x83N\x82\xB5\x82\xC4\x95\xCF\x8A\xB7\x82\xB7\x82\xE9\x83t\x83@\x83"
    "C\x83\x8B\x82\xF0\x91I\x91\xF0\x82\xB5\x82\xC4\x89\xBA\x82\xB3\x82\xA2\x81"
    "B";
// 画像ファイルが見つからない画像参照文字を無効化する
const char kCheckBox1Text[] =
    "\x89\xE6\x91\x9C\x83t\x83@\x83"
    "C\x83\x8B\x82\xAA\x8C\xA9\x82\xC2\x82\xA9\x82\xE7\x82\xC8\x82\xA2\x89\xE6\x91\x9C\x8EQ\x8F"
    "\xC6\x95\xB6\x8E\x9A\x82\xF0\x96\xB3\x8C\xF8\x89\xBB\x82\xB7\x82\xE9";
// （^@BM～ → _@BM～　及び　補助線色化）
const char kLabel8Text[] =
    "\x81i^@BM\x81\x60 \x81\xA8 _@BM\x81\x60\x81@\x8By\x82\xD1\x81@\x95\xE2\x8F\x95\x90\xFC\x90"
    "F\x89\xBB\x81j";
// 画像ファイル名
const char kGroupBox2Text[] =
    "\x89\xE6\x91\x9C\x83t\x83@\x83"
    "C\x83\x8B\x96\xBC";
// パス名を含むファイル名
const char kRadioButton5Text[] =
    "\x83p\x83X\x96\xBC\x82\xF0\x8A\xDC\x82\xDE\x83t\x83@\x83"
    "C\x83\x8B\x96\xBC";
// そのままのファイル名
const char kRadioButton6Text[] =
    "\x82\xBB\x82\xCC\x82\xDC\x82\xDC\x82\xCC\x83t\x83@\x83"
    "C\x83\x8B\x96\xBC";
// （同じファイル名で日時・サイズが異なる場合は枝番追加）
const char kLabel4Text[] =
    "\x81i\x93\xAF\x82\xB6\x83t\x83@\x83"
    "C\x83\x8B\x96\xBC\x82\xC5\x93\xFA\x8E\x9E\x81"
    "E\x83T\x83"
    "C\x83Y\x82\xAA\x88\xD9\x82\xC8\x82\xE9\x8F\xEA\x8D\x87\x82\xCD\x8E}\x94\xD4\x92\xC7\x89\xC1"
    "\x81j";
// 画像ファイルをそのままの形式で画像同梱し Ver.7形式で変換します
const char kLabel7Text[] =
    "\x89\xE6\x91\x9C\x83t\x83@\x83"
    "C\x83\x8B\x82\xF0\x82\xBB\x82\xCC\x82\xDC\x82\xDC\x82\xCC\x8C\x60\x8E\xAE\x82\xC5\x89\xE6"
    "\x91\x9C\x93\xAF\x8D\xAB\x82\xB5 Ver.7\x8C\x60\x8E\xAE\x82\xC5\x95\xCF\x8A\xB7\x82\xB5\x82"
    "\xDC\x82\xB7";
// （※既に画像同梱されているものは対象外）
const char kLabel9Text[] =
    "\x81i\x81\xA6\x8A\xF9\x82\xC9\x89\xE6\x91\x9C\x93\xAF\x8D\xAB\x82\xB3\x82\xEA\x82\xC4\x82"
    "\xA2\x82\xE9\x82\xE0\x82\xCC\x82\xCD\x91\xCE\x8F\xDB\x8AO\x81j";
// ※外部変形時は、外部変形のフォルダ内にTEMP.JWWを作成し、開きます
const char kLabel10Text[] =
    "\x81\xA6\x8AO\x95\x94\x95\xCF\x8C\x60\x8E\x9E\x82\xCD\x81"
    "A\x8AO\x95\x94\x95\xCF\x8C\x60\x82\xCC\x83t\x83H\x83\x8B\x83_\x93\xE0\x82\xC9TEMP.JWW\x82"
    "\xF0\x8D\xEC\x90\xAC\x82\xB5\x81"
    "A\x8AJ\x82\xAB\x82\xDC\x82\xB7";
// ※保存先フォルダに同じ名前のファイルが存在する場合は名前に枝番が付きます
const char kStatusBar1Text[] =
    "\x81\xA6\x95\xDB\x91\xB6\x90\xE6\x83t\x83H\x83\x8B\x83_\x82\xC9\x93\xAF\x82\xB6\x96\xBC\x91"
    "O\x82\xCC\x83t\x83@\x83"
    "C\x83\x8B\x82\xAA\x91\xB6\x8D\xDD\x82\xB7\x82\xE9\x8F\xEA\x8D\x87\x82\xCD\x96\xBC\x91O\x82"
    "\xC9\x8E}\x94\xD4\x82\xAA\x95t\x82\xAB\x82\xDC\x82\xB7";

// ＭＳ ゴシック
const char kMsGothic[] =
    "\x82l\x82r \x83S\x83V\x83"
    "b\x83N";
// IPAゴシック
const char kIpaGothicJapanese[] =
    "IPA\x83S\x83V\x83"
    "b\x83N";

}  // namespace

const char kCaption[] = "Marrowfold Ver.1.3";
const char kMessageCaption[] = "Marrowfold";
// 設定(&S)
const char kTabSheet1[] = "\x90\xDD\x92\xE8(&S)";
// ログ(&L)
const char kTabSheet2[] = "\x83\x8D\x83O(&L)";

const char* const kFontFaces[] = {kMsGothic, "MS Gothic", kIpaGothicJapanese, "IPAGothic"};
const std::size_t kFontFaceCount = sizeof kFontFaces / sizeof kFontFaces[0];

// Each text is given room for itself at 13 pixels plus the box of a radio
// button or a check box; the page control's height is what is left above
// the status bar.
const ControlInfo kControls[kControlCount] = {
    {kGroupBox1, "GroupBox1", Kind::Group, kGroupBox1Text, Page::Main, 8, 4, 468, 92, true},
    {kRadioButton1, "RadioButton1", Kind::Radio, kRadioButton1Text, Page::Main, 18, 22, 110, 20,
     true},
    {kRadioButton2, "RadioButton2", Kind::Radio, kRadioButton2Text, Page::Main, 134, 22, 134, 20,
     false},
    {kRadioButton3, "RadioButton3", Kind::Radio, kRadioButton3Text, Page::Main, 276, 22, 170, 20,
     false},
    {kRadioButton4, "RadioButton4", Kind::Radio, kRadioButton4Text, Page::Main, 18, 46, 110, 20,
     false},
    {kRadioButton7, "RadioButton7", Kind::Radio, kRadioButton7Text, Page::Main, 18, 70, 110, 20,
     false},
    {kEdit1, "Edit1", Kind::Edit, "", Page::Main, 134, 45, 276, 22, true},
    {kButton1, "Button1", Kind::Button, kButton1Text, Page::Main, 416, 44, 52, 24, true},
    {kLabelPreFolder, "LabelPreFolder", Kind::Label, "", Page::Main, 134, 72, 334, 16, true},
    {kLabel2, "Label2", Kind::Label, kLabel2Text, Page::Main, 8, 104, 468, 16, true},
    {kLabel3, "Label3", Kind::Link, kLabel3Text, Page::Main, 8, 122, 468, 16, true},
    {kLabel1, "Label1", Kind::Label, "", Page::Main, 0, 0, 0, 0, true},
    {kCheckBox1, "CheckBox1", Kind::Check, kCheckBox1Text, Page::Settings, 8, 6, 436, 20, true},
    {kLabel8, "Label8", Kind::Label, kLabel8Text, Page::Settings, 26, 26, 420, 16, true},
    {kGroupBox2, "GroupBox2", Kind::Group, kGroupBox2Text, Page::Settings, 8, 46, 444, 62, true},
    {kRadioButton5, "RadioButton5", Kind::Radio, kRadioButton5Text, Page::Settings, 18, 64, 190, 20,
     true},
    {kRadioButton6, "RadioButton6", Kind::Radio, kRadioButton6Text, Page::Settings, 214, 64, 180,
     20, false},
    {kLabel4, "Label4", Kind::Label, kLabel4Text, Page::Settings, 18, 86, 426, 16, true},
    {kLabel7, "Label7", Kind::Label, kLabel7Text, Page::Settings, 8, 114, 444, 16, true},
    {kLabel9, "Label9", Kind::Label, kLabel9Text, Page::Settings, 8, 132, 444, 16, true},
    {kLabel10, "Label10", Kind::Label, kLabel10Text, Page::Settings, 8, 152, 444, 16, true},
    {kListBox1, "ListBox1", Kind::List, "", Page::Log, 4, 4, 0, 0, true},
    {kPageControl1, "PageControl1", Kind::Tabs, "", Page::Main, kPagesX, kPagesY, kPagesWidth, 0,
     true},
    {kStatusBar1, "StatusBar1", Kind::Status, kStatusBar1Text, Page::Main, 0, 0, 0, 0, true},
};

const ControlInfo& InfoOf(ControlId id) {
  return kControls[id - kGroupBox1];
}

}  // namespace gui
