// Drives the Kestrune Mechanics Tweaker like a user, on a real display:
//
//   dialog_driver test PROGRAM WORKFOLDER SHOTFOLDER
//       The end-to-end test: every control against its template, the about
//       box, the runs through real clicks on a game folder it builds in
//       WORKFOLDER, the ways to end the program, and the ways to get the game
//       folder into the path box. Exit code 0 when all checks pass.
//   dialog_driver sample FOLDER
//       Writes a game data folder with the 47 cars' data files.
//   dialog_driver demo PROGRAM FOLDER SHOTFOLDER
//       Applies 50% to the data folder FOLDER and restores it, through the
//       dialog, and prints the status and what changed after each.
//   dialog_driver found PROGRAM SHOTFOLDER
//       Starts the program in the middle of the screen, opens its list of
//       the game folders found on this PC once the search has ended, and
//       takes a picture of the whole screen (found-on-this-pc.png).
//   dialog_driver sleep
//       Waits until ended: the test's stand-in for another program, run
//       under that program's name.
//
// Folders may be given as Unix paths (/...), which are read as Wine's Z:
// drive. SHOTFOLDER may be "-" for no screenshots.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "car_files.h"
#include "game_data.h"
#include "linux_under_wine.h"
#include "remove_tree.h"
#include "resource.h"
#include "ui_automation.h"
#include "utf16_win32.h"

namespace {

const char kMainCaption[] = "Kestrune Mechanics Tweaker";
const char kAboutCaption[] = "About Tolvane";
const char kNoticeCaption[] = "KestruneBrakeTweaker";  // the program's file name
const char kAboutSecondLine[] = "Extra brakes, to your taste";
const char* const kLevels[] = {"0% (pro-sim)", "25%", "50%", "75%",
                               "100% (original Kestrune value)"};

const char kFinished[] = "Tweak process finished";
const char kEnterPath[] = "Please enter the path for the game's data files";
const std::string kRestoredAll = "Restored backup copies of 47 files";

constexpr WORD kNoId = 0xFFFF;
constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

struct ControlSpec {
  WORD id;
  const char* cls;
  const char* text;  // "#128": the icon resource 128
  int x, y, cx, cy;  // dialog units
  DWORD style;
};

struct DialogSpec {
  WORD id;
  const char* caption;
  int cx, cy;
  DWORD style, exStyle;
  std::vector<ControlSpec> controls;
};

const DialogSpec kMainDialog = {
    IDD_TWEAK_DIALOG, kMainCaption, 261, 131,
    WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT,
    WS_EX_APPWINDOW,
    {
        {kNoId, "Button", "Options", 7, 7, 247, 99, kChild | BS_GROUPBOX},
        {IDC_RESTORE, "Button", "Restore backup files (re-enable online play)",
         13, 85, 234, 14, kChild | WS_TABSTOP | BS_PUSHBUTTON},
        {IDC_APPLY, "Button", "Apply to game", 7, 110, 57, 14,
         kChild | WS_TABSTOP | BS_PUSHBUTTON},
        {kNoId, "Static", "Path:", 68, 113, 18, 8, kChild | WS_GROUP | SS_LEFT},
        {IDC_PATH, "Edit", "", 88, 110, 163, 14,
         kChild | WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL},
        {kNoId, "Static", "Extra strong brakes", 14, 20, 62, 8,
         kChild | WS_GROUP | SS_LEFT},
        {IDC_BRAKES, "ComboBox", "", 83, 18, 163, 195,
         kChild | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST},
        {IDC_STATUS, "Static", "", 14, 34, 232, 49,
         kChild | SS_LEFT | SS_NOPREFIX | SS_EDITCONTROL},
    }};

const DialogSpec kAboutDialog = {
    IDD_ABOUTBOX, kAboutCaption, 235, 55,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, 0,
    {
        {kNoId, "Static", "#128", 11, 17, 20, 20, kChild | SS_ICON},
        {kNoId, "Static", "Tolvane Version 1.0", 40, 10, 119, 8,
         kChild | WS_GROUP | SS_NOPREFIX},
        {kNoId, "Static", kAboutSecondLine, 40, 25, 119, 8, kChild | WS_GROUP},
        {IDOK, "Button", "OK", 178, 7, 50, 14,
         kChild | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON},
    }};

std::string WinPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  return path;
}

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", value);
  return text;
}

// ---------------------------------------------------------------------------
// The dialog templates as stored in the program file.

struct TemplateItem {
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  WORD id = 0;
  std::string cls, text;
};

struct Template {
  DWORD style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string caption, font;
  int pointSize = 0;
  std::vector<TemplateItem> items;
};

class TemplateReader {
 public:
  explicit TemplateReader(const BYTE* data) : data_(data) {}
  WORD Word() {
    WORD value;
    std::memcpy(&value, data_ + at_, 2);
    at_ += 2;
    return value;
  }
  DWORD Dword() {
    DWORD value;
    std::memcpy(&value, data_ + at_, 4);
    at_ += 4;
    return value;
  }
  short Short() { return static_cast<short>(Word()); }
  // A string, or an ordinal written as "#n"; class ordinals by their names.
  std::string NameOrOrdinal(bool isClass = false) {
    const WORD first = Word();
    if (first == 0xFFFF) {
      const WORD ordinal = Word();
      static const std::map<WORD, std::string> kClasses = {
          {0x80, "Button"},    {0x81, "Edit"},      {0x82, "Static"},
          {0x83, "ListBox"},   {0x84, "ScrollBar"}, {0x85, "ComboBox"}};
      if (isClass && kClasses.count(ordinal)) return kClasses.at(ordinal);
      return std::string("#").append(std::to_string(ordinal));
    }
    std::string text;
    for (WORD c = first; c != 0; c = Word()) text += static_cast<char>(c);
    return text;
  }
  void Align() { at_ = (at_ + 3) & ~static_cast<std::size_t>(3); }
  void Skip(std::size_t bytes) { at_ += bytes; }

 private:
  const BYTE* data_;
  std::size_t at_ = 0;
};

Template LoadTemplate(HMODULE module, WORD id) {
  const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), RT_DIALOG);
  if (found == nullptr) throw std::runtime_error("no dialog template " + std::to_string(id));
  TemplateReader in(static_cast<const BYTE*>(LockResource(LoadResource(module, found))));
  Template result;
  result.style = in.Dword();
  if (result.style == 0xFFFF0001) throw std::runtime_error("extended dialog template");
  result.exStyle = in.Dword();
  const WORD count = in.Word();
  result.x = in.Short();
  result.y = in.Short();
  result.cx = in.Short();
  result.cy = in.Short();
  in.NameOrOrdinal();  // menu
  in.NameOrOrdinal();  // class
  result.caption = in.NameOrOrdinal();
  if (result.style & DS_SETFONT) {
    result.pointSize = in.Word();
    result.font = in.NameOrOrdinal();
  }
  for (WORD i = 0; i < count; ++i) {
    in.Align();
    TemplateItem item;
    item.style = in.Dword();
    item.exStyle = in.Dword();
    item.x = in.Short();
    item.y = in.Short();
    item.cx = in.Short();
    item.cy = in.Short();
    item.id = in.Word();
    item.cls = in.NameOrOrdinal(true);
    item.text = in.NameOrOrdinal();
    in.Skip(in.Word());
    result.items.push_back(item);
  }
  return result;
}

bool SameClass(const std::string& a, const std::string& b) {
  return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

void CheckTemplate(HMODULE module, const DialogSpec& spec) {
  const std::string name = "template " + std::to_string(spec.id);
  const Template t = LoadTemplate(module, spec.id);
  CheckText(t.caption, spec.caption, name + " caption");
  Check(t.style == spec.style, name + " style " + Hex(t.style));
  Check(t.exStyle == spec.exStyle, name + " extended style " + Hex(t.exStyle));
  Check(t.x == 0 && t.y == 0 && t.cx == spec.cx && t.cy == spec.cy,
        name + " position and size " + std::to_string(t.cx) + "x" + std::to_string(t.cy));
  CheckText(t.font + " " + std::to_string(t.pointSize), "MS Sans Serif 8", name + " font");
  Check(t.items.size() == spec.controls.size(),
        name + " has " + std::to_string(spec.controls.size()) + " controls");
  for (std::size_t i = 0; i < t.items.size() && i < spec.controls.size(); ++i) {
    const TemplateItem& item = t.items[i];
    const ControlSpec& want = spec.controls[i];
    const std::string what = name + " control " + std::to_string(i + 1) + " (" + want.text + ")";
    Check(item.id == want.id && SameClass(item.cls, want.cls) && item.text == want.text,
          what + ": id " + std::to_string(item.id) + ", " + item.cls + ", \"" + item.text + "\"");
    Check(item.x == want.x && item.y == want.y && item.cx == want.cx && item.cy == want.cy,
          what + ": at " + std::to_string(item.x) + "," + std::to_string(item.y) + " size " +
              std::to_string(item.cx) + "x" + std::to_string(item.cy));
    Check(item.style == want.style && item.exStyle == 0, what + ": style " + Hex(item.style));
  }
}

void CheckLevelList(HMODULE module) {
  const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDD_TWEAK_DIALOG),
                                    MAKEINTRESOURCEA(240));
  Check(found != nullptr, "the level list's entries are in the dialog's init data");
}

void CheckMenuText(HMODULE module) {
  char text[256] = "";
  LoadStringA(module, IDS_ABOUTBOX, text, sizeof text);
  CheckText(text, "&About Tolvane...", "string 101, the system menu's About item");
}

void CheckVersionRecord(const std::string& exe) {
  std::vector<char> record(GetFileVersionInfoSizeA(exe.c_str(), nullptr) + 1);
  if (!GetFileVersionInfoA(exe.c_str(), 0, static_cast<DWORD>(record.size()), record.data())) {
    Check(false, "version record readable");
    return;
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  VerQueryValueA(record.data(), "\\", reinterpret_cast<void**>(&fixed), &size);
  Check(fixed != nullptr && fixed->dwFileVersionMS == 0x00010000 &&
            fixed->dwFileVersionLS == 0x00000001 && fixed->dwProductVersionMS == 0x00010000 &&
            fixed->dwProductVersionLS == 0x00000001,
        "file and product version 1.0.0.1");
  const std::pair<const char*, const char*> kStrings[] = {
      {"CompanyName", ""},
      {"FileDescription", "Tolvane MFC Application"},
      {"FileVersion", "1, 0, 0, 1"},
      {"InternalName", "Tolvane"},
      {"LegalTrademarks", ""},
      {"OriginalFilename", "Tolvane.EXE"},
      {"ProductName", "Tolvane Application"},
      {"ProductVersion", "1, 0, 0, 1"}};
  for (const auto& [name, value] : kStrings) {
    char* text = nullptr;
    const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
    const bool found =
        VerQueryValueA(record.data(), key.c_str(), reinterpret_cast<void**>(&text), &size);
    CheckText(found && text != nullptr ? text : "<missing>", value,
              std::string("version record ") + name);
  }
}

void CheckManifest(HMODULE module) {
  const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST);
  if (found == nullptr) {
    Check(false, "manifest embedded");
    return;
  }
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  const char* const kParts[] = {
      "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
      "level=\"asInvoker\"", ">PerMonitorV2, system<", ">true</dpiAware>",
      ">UTF-8</activeCodePage>", ">true</longPathAware>",
      "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"};
  for (const char* part : kParts) {
    Check(manifest.find(part) != std::string::npos, std::string("manifest has ") + part);
  }
}

void CheckIconResource(HMODULE module) {
  const HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_MAINFRAME), RT_GROUP_ICON);
  if (found == nullptr) {
    Check(false, "icon 128 exists");
    return;
  }
  const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
  WORD count;
  std::memcpy(&count, group + 4, 2);
  std::string sizes;
  for (WORD i = 0; i < count; ++i) {
    if (i > 0) sizes += ' ';
    const int width = group[6 + 14 * i], height = group[7 + 14 * i];  // 0 stands for 256
    sizes += std::to_string(width == 0 ? 256 : width) + 'x' +
             std::to_string(height == 0 ? 256 : height);
  }
  CheckText(sizes, "256x256 48x48 32x32 16x16", "icon 128 images");
}

// ---------------------------------------------------------------------------
// The dialogs on the screen.

struct BaseUnits {
  int x = 0, y = 0;
};

// The dialog's base units, found from its client size: the dialog manager
// makes it MulDiv(cx, x, 4) by MulDiv(cy, y, 8), with whole base units.
BaseUnits UnitsOf(HWND dialog, const DialogSpec& spec) {
  RECT client;
  GetClientRect(dialog, &client);
  BaseUnits units;
  for (int x = 1; x < 64 && units.x == 0; ++x) {
    if (MulDiv(spec.cx, x, 4) == client.right) units.x = x;
  }
  for (int y = 1; y < 64 && units.y == 0; ++y) {
    if (MulDiv(spec.cy, y, 8) == client.bottom) units.y = y;
  }
  Check(units.x != 0 && units.y != 0,
        std::string(spec.caption) + ": client " + std::to_string(client.right) + "x" +
            std::to_string(client.bottom) + " px gives base units " +
            std::to_string(units.x) + "x" + std::to_string(units.y));
  return units;
}

// The dialog font as the dialog manager makes it from the template, at the
// given DPI (by default this program's).
class DialogFont {
 public:
  explicit DialogFont(int dpi = 0) {
    dc_ = CreateCompatibleDC(nullptr);
    if (dpi == 0) dpi = GetDeviceCaps(dc_, LOGPIXELSY);
    font_ = CreateFontA(-MulDiv(8, dpi, 72), 0, 0, 0,
                        FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0,
                        PROOF_QUALITY, FF_DONTCARE, "MS Sans Serif");
    previous_ = SelectObject(dc_, font_);
  }
  ~DialogFont() {
    SelectObject(dc_, previous_);
    DeleteObject(font_);
    DeleteDC(dc_);
  }
  int Width(const std::string& text) const {
    SIZE size = {};
    GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx;
  }
  // The height of `text` broken into lines of at most `width` pixels, as a
  // static control that shows it as an edit control would draws it.
  int WrappedHeight(const std::string& text, int width) const {
    const std::wstring wide = ToUtf16ForDisplay(text);
    RECT r = {0, 0, width, 0};
    DrawTextW(dc_, wide.c_str(), static_cast<int>(wide.size()), &r,
              DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX);
    return r.bottom;
  }
  BaseUnits Units() const {
    TEXTMETRICA metrics;
    GetTextMetricsA(dc_, &metrics);
    const int width = Width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {(width / 26 + 1) / 2, static_cast<int>(metrics.tmHeight)};
  }

 private:
  HDC dc_;
  HFONT font_;
  HGDIOBJ previous_;
};

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

// The screen's pixels in the rectangle, row by row, as 0x00RRGGBB.
std::vector<DWORD> Capture(const RECT& screen) {
  const int width = screen.right - screen.left, height = screen.bottom - screen.top;
  if (width <= 0 || height <= 0) return {};
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  const HDC screenDc = GetDC(nullptr);
  const HDC dc = CreateCompatibleDC(screenDc);
  const HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, width, height, screenDc, screen.left, screen.top, SRCCOPY);
  const auto* first = static_cast<const DWORD*>(bits);
  std::vector<DWORD> pixels(first, first + width * height);
  for (DWORD& pixel : pixels) pixel &= 0xFFFFFF;
  SelectObject(dc, previous);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screenDc);
  return pixels;
}

// How many pixels of the screen rectangle are strongly red: the calliper of
// the icon, which no part of the system's own look has.
int RedPixels(const RECT& screen) {
  int red = 0;
  for (const DWORD pixel : Capture(screen)) {
    if (((pixel >> 16) & 0xFF) > 150 && ((pixel >> 8) & 0xFF) < 90 && (pixel & 0xFF) < 90) {
      ++red;
    }
  }
  return red;
}

// Whether a menu's image shows a separator line between its last item and
// the item before: scanning up from the bottom, the rows of the last item's
// text, then a row that is one colour across most of the width.
bool LastItemFollowsSeparator(const RECT& menu) {
  const int width = menu.right - menu.left, height = menu.bottom - menu.top;
  const std::vector<DWORD> pixels = Capture(menu);
  if (pixels.empty()) return false;
  std::map<DWORD, int> counts;
  for (const DWORD pixel : pixels) ++counts[pixel];
  DWORD background = 0;
  for (const auto& [colour, count] : counts) {
    if (count > counts[background]) background = colour;
  }
  const auto dark = [](DWORD p) {
    return ((p >> 16) & 0xFF) + ((p >> 8) & 0xFF) + (p & 0xFF) < 3 * 110;
  };
  // Scanning up: the last item's text, then within about two text lines
  // (the item's own height) the separator's line.
  int lastText = -1;
  for (int y = height - 4; y > 3; --y) {
    const DWORD* row = &pixels[y * width];
    int darkCount = 0, sameCount = 0;
    for (int x = 4; x < width - 4; ++x) {
      darkCount += dark(row[x]);
      sameCount += row[x] == row[width / 2] && row[x] != background;
    }
    const bool line = sameCount >= (width - 8) * 7 / 10;
    if (lastText < 0) {
      if (line) return false;
      if (darkCount > 0) lastText = y;
    } else if (line) {
      return true;
    } else if (lastText - y > 2 * GetSystemMetrics(SM_CYMENU)) {
      return false;
    }
  }
  return false;
}

// The bounding box, in screen coordinates, of the points of the window's
// caption area where it reports the hit-test code `hit`.
RECT HitRect(HWND window, LRESULT hit) {
  const RECT r = ScreenRect(window);
  RECT found = {r.right, r.bottom, r.left, r.top};
  for (int y = r.top; y < r.top + 40 && y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; x += 2) {
      DWORD_PTR result = 0;
      SendMessageTimeoutW(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG, 5000,
                          &result);
      if (static_cast<LRESULT>(result) != hit) continue;
      found = {x < found.left ? x : found.left, y < found.top ? y : found.top,
               x + 1 > found.right ? x + 1 : found.right,
               y + 1 > found.bottom ? y + 1 : found.bottom};
    }
  }
  return found;
}

bool ClickHit(HWND window, LRESULT hit) {
  const RECT r = HitRect(window, hit);
  if (r.right <= r.left) return false;
  ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  return true;
}

// Everything the user sees of the main dialog, to tell whether it changed.
std::string Snapshot(HWND dialog) {
  std::string state = WindowText(dialog) + "|" + RectText(ScreenRect(dialog)) + "|" +
                      (IsWindowEnabled(dialog) ? "enabled" : "disabled");
  for (HWND child : Children(dialog)) {
    state += '|';
    state += std::to_string(GetDlgCtrlID(child));
    state += ':';
    state += WindowText(child);
    state += ':';
    state += RectText(RectIn(child, dialog));
    state += ':';
    state += Hex(static_cast<DWORD>(GetWindowLongW(child, GWL_STYLE)));
  }
  state += "|level " + std::to_string(SendMessageW(GetDlgItem(dialog, IDC_BRAKES),
                                                   CB_GETCURSEL, 0, 0));
  return state;
}

// Checks each control against its template entry converted to pixels with
// the dialog's own base units. Known differences: the edit box draws its
// border as a sunken client edge; a drop-down list's window has the closed
// height (its template height is the height with the list open); an icon
// control takes the icon's size; a label may have been widened to its text
// (checked by the caller).
void CheckLiveControls(HWND dialog, const DialogSpec& spec, const BaseUnits& units,
                       const DialogFont& font, HWND focus) {
  const std::vector<HWND> children = Children(dialog);
  Check(children.size() == spec.controls.size(),
        std::string(spec.caption) + " has " + std::to_string(children.size()) + " controls");
  for (std::size_t i = 0; i < children.size() && i < spec.controls.size(); ++i) {
    const HWND control = children[i];
    const ControlSpec& want = spec.controls[i];
    const std::string what = std::string(spec.caption) + " control " + std::to_string(i + 1);
    const WORD id = static_cast<WORD>(GetDlgCtrlID(control));
    Check(id == want.id && SameClass(ClassOf(control), want.cls),
          what + ": id " + std::to_string(id) + ", class " + ClassOf(control));

    const bool isIcon = (want.style & SS_TYPEMASK) == SS_ICON && SameClass(want.cls, "Static");
    const bool isCombo = SameClass(want.cls, "ComboBox");
    if (!isIcon && !isCombo && want.id != IDC_STATUS) {
      CheckText(WindowText(control), want.text, what + " text");
    }

    DWORD style = static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE));
    DWORD expected = want.style;
    if (SameClass(want.cls, "Edit")) {
      Check(exStyle & WS_EX_CLIENTEDGE, what + ": border drawn as a client edge");
      style &= ~WS_BORDER;
      expected &= ~WS_BORDER;
    }
    if (control == focus && SameClass(want.cls, "Button") &&
        (want.style & BS_TYPEMASK) == BS_PUSHBUTTON) {
      expected |= BS_DEFPUSHBUTTON;  // the focused push button is the default one
    }
    if (isCombo) {
      // The control keeps its list's strings itself, and hands the scroll
      // bar on to the drop-down list (checked when the list is open).
      style &= ~CBS_HASSTRINGS;
      expected &= ~WS_VSCROLL;
    }
    Check(style == expected, what + ": style " + Hex(style) + ", expected " + Hex(expected));

    const RECT r = RectIn(control, dialog);
    const RECT want_px = {MulDiv(want.x, units.x, 4), MulDiv(want.y, units.y, 8),
                          MulDiv(want.x, units.x, 4) + MulDiv(want.cx, units.x, 4),
                          MulDiv(want.y, units.y, 8) + MulDiv(want.cy, units.y, 8)};
    if (isIcon) {
      Check(r.left == want_px.left && r.top == want_px.top &&
                r.right - r.left == GetSystemMetrics(SM_CXICON) &&
                r.bottom - r.top == GetSystemMetrics(SM_CYICON),
            what + ": icon at " + RectText(r) + ", template at " + RectText(want_px));
    } else if (isCombo) {
      Check(r.left == want_px.left && r.top == want_px.top && r.right == want_px.right,
            what + ": at " + RectText(r) + ", template " + RectText(want_px) +
                " (height with the list open)");
    } else if (want.id == kNoId && SameClass(want.cls, "Static") &&
               r.right - r.left > want_px.right - want_px.left) {
      // Widened to its text: same place, and still clear of the next control.
      const RECT next = RectIn(children[i + 1], dialog);
      Check(r.left == want_px.left && r.top == want_px.top && r.bottom == want_px.bottom &&
                r.right <= next.left,
            what + ": label widened to its text at " + RectText(r) + ", template " +
                RectText(want_px) + ", next control at x=" + std::to_string(next.left));
    } else {
      Check(EqualRect(&r, &want_px),
            what + ": at " + RectText(r) + ", template " + RectText(want_px));
    }

    // Every text must show in full on one line.
    if (SameClass(want.cls, "Static") && !isIcon) {
      const int needed = font.Width(want.text);
      Check(needed <= r.right - r.left,
            what + ": \"" + want.text + "\" needs " + std::to_string(needed) +
                " px, has " + std::to_string(r.right - r.left));
    } else if (SameClass(want.cls, "Button") && want.text[0] != '\0') {
      const int needed = font.Width(want.text);
      Check(needed + 4 <= r.right - r.left,
            what + ": \"" + want.text + "\" needs " + std::to_string(needed) + " px");
    }
  }
}

// ---------------------------------------------------------------------------
// What a user does.

// Waits for the program's next notice, checks that it is a box with one OK
// button over the main dialog and within the screen, reads its text, clicks
// OK and waits until it has gone. The program breaks a long path into lines
// that fit the screen; the text is returned without those breaks.
std::string TakeNotice(const Program& program, HWND main, const std::string& shot = "") {
  const HWND box = program.WaitWindow("#32770", kNoticeCaption, 30000);
  if (box == nullptr) return "<no notice>";
  std::string text = WindowText(GetDlgItem(box, 0xFFFF));
  std::erase(text, '\n');
  int buttons = 0;
  for (HWND child : Children(box)) buttons += SameClass(ClassOf(child), "Button");
  const HWND ok = GetDlgItem(box, IDOK);
  MONITORINFO monitor = {sizeof monitor, {}, {}, 0};
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTONEAREST), &monitor);
  RECT at = ScreenRect(box), inside;
  Check(buttons == 1 && ok != nullptr && WindowText(ok) == "OK" &&
            GetWindow(box, GW_OWNER) == main && !IsWindowEnabled(main) &&
            IntersectRect(&inside, &at, &monitor.rcWork) && EqualRect(&inside, &at),
        "notice has one OK button, is modal over the dialog and within the screen at " +
            RectText(at));
  if (!shot.empty()) Screenshot(shot, ScreenRect(box));
  Click(ok);
  Check(WaitFor([&] { return !IsWindow(box) || !IsWindowVisible(box); }),
        "notice closes on OK");
  return text;
}

// Reads and dismisses the expected notices in order, then checks that no
// other one follows.
void ExpectNotices(const Program& program, HWND main, const std::vector<std::string>& expected,
                   const std::string& what, const std::string& shot = "") {
  for (std::size_t i = 0; i < expected.size(); ++i) {
    CheckText(TakeNotice(program, main, i == 0 ? shot : ""), expected[i],
              what + ": notice " + std::to_string(i + 1));
  }
  Sleep(400);
  program.Sync(main);
  Check(program.Windows("#32770", kNoticeCaption).empty() && IsWindowEnabled(main),
        what + ": no further notice");
}

void SetPath(const Program& program, HWND main, const std::string& path) {
  const HWND edit = GetDlgItem(main, IDC_PATH);
  Click(edit);
  WaitFor([&] { return program.Focus() == edit; }, 5000);
  Key(VK_END);
  Key(VK_HOME, VK_SHIFT);
  Key(VK_DELETE);
  Type(path);
  WaitFor([&] { return WindowText(edit) == path; }, 5000);
  CheckText(WindowText(edit), path, "path typed");
}

void SelectLevel(const Program& program, HWND main, int level) {
  const HWND combo = GetDlgItem(main, IDC_BRAKES);
  Click(combo);
  const HWND list = program.WaitWindow("ComboLBox", "", 5000);
  if (list == nullptr) {
    Check(false, "the level list opens");
    return;
  }
  const int itemHeight = static_cast<int>(SendMessageW(list, LB_GETITEMHEIGHT, 0, 0));
  const int top = static_cast<int>(SendMessageW(list, LB_GETTOPINDEX, 0, 0));
  RECT client;
  GetClientRect(list, &client);
  Check(client.bottom >= 5 * itemHeight && top == 0, "the open list shows all five levels");
  POINT origin = {0, 0};
  ClientToScreen(list, &origin);
  ClickAt(origin.x + client.right / 2, origin.y + (level - top) * itemHeight + itemHeight / 2);
  WaitFor([&] { return !IsWindowVisible(list); }, 5000);
  program.Sync(main);
  Check(SendMessageW(combo, CB_GETCURSEL, 0, 0) == level &&
            WindowText(combo) == kLevels[level],
        std::string("level chosen: ") + kLevels[level]);
}

void ClickButton(const Program& program, HWND main, int id) {
  Click(GetDlgItem(main, id));
  program.Sync(main);
}

// Waits for the dialog and makes sure it has the keyboard focus; if not (Wine
// may leave a new window inactive when another program's window was active
// just before), the user clicks its caption.
HWND Start(const Program& program) {
  const HWND main = program.WaitWindow("#32770", kMainCaption, 20000);
  if (main == nullptr) throw std::runtime_error("the dialog did not appear");
  SetForegroundWindow(main);  // as the system does for a program the user starts
  const auto active = [&] {
    const HWND focus = program.Focus();
    return focus != nullptr && GetAncestor(focus, GA_ROOT) == main;
  };
  if (!WaitFor(active, 2000)) {
    ClickHit(main, HTCAPTION);
    Check(WaitFor(active, 5000), "the dialog is active after a click on its caption");
  }
  return main;
}

// ---------------------------------------------------------------------------
// The game folder on disk.

using Cars = std::map<std::string, std::string>;

std::string DataFile(const std::string& folder, const std::string& id) {
  return folder + "\\cars\\" + id + "\\" + id + ".csv";
}
std::string BackupFile(const std::string& folder, const std::string& id) {
  return folder + "\\cars\\" + id + "\\" + id + "_backup.csv";
}

// level -1: the data files are the originals; otherwise patched at level.
void CheckDataFiles(const std::string& folder, const Cars& cars, int level,
                    const std::string& what) {
  int right = 0;
  std::string wrong;
  for (const auto& [id, original] : cars) {
    if (ReadBytes(DataFile(folder, id)) == (level < 0 ? original : Patched(original, level))) {
      ++right;
    } else if (wrong.empty()) {
      wrong = " (first wrong: " + id + ", brakes " + BrakeValues(ReadBytes(DataFile(folder, id))) + ")";
    }
  }
  Check(right == 47, what + ": " + std::to_string(right) + " of 47 data files " +
                         (level < 0 ? "are the originals" : "hold level " + std::to_string(level)) +
                         wrong);
}

// present: every backup is a byte copy of the original; otherwise none exists.
void CheckBackups(const std::string& folder, const Cars& cars, bool present,
                  const std::string& what) {
  int right = 0;
  for (const auto& [id, original] : cars) {
    const std::string backup = BackupFile(folder, id);
    right += present ? ReadBytes(backup) == original : !IsFile(backup);
  }
  Check(right == 47, what + ": " + std::to_string(right) + " of 47 backups " +
                         (present ? "hold the originals" : "absent"));
}

bool FolderIsEmpty(const std::string& folder) {
  WIN32_FIND_DATAA found;
  const HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return true;
  bool empty = true;
  do {
    const std::string name = found.cFileName;
    if (name != "." && name != "..") empty = false;
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return empty;
}

// ---------------------------------------------------------------------------
// The test.

void CheckAboutBox(const Program& program, HWND main, HWND about, const std::string& before) {
  const DialogFont font;
  CheckText(WindowText(about), kAboutCaption, "about box caption");
  Check(GetWindow(about, GW_OWNER) == main && !IsWindowEnabled(main),
        "about box is modal over the main dialog");
  CheckLiveControls(about, kAboutDialog, UnitsOf(about, kAboutDialog), font,
                    program.Focus());
  const std::vector<HWND> children = Children(about);
  if (!children.empty()) {
    Check(RedPixels(ScreenRect(children[0])) > 20, "about box shows the brake disc icon");
  }
  Screenshot("about", ScreenRect(about));
  Click(GetDlgItem(about, IDOK));
  Check(WaitFor([&] { return !IsWindow(about); }, 5000), "OK closes the about box");
  program.Sync(main);
  Check(Snapshot(main) == before, "the main dialog is unchanged after the about box");
}

void TestLook(const Program& program, HWND main, HMODULE module, const std::string& exe) {
  CheckVersionRecord(exe);
  CheckTemplate(module, kMainDialog);
  CheckTemplate(module, kAboutDialog);
  CheckLevelList(module);
  CheckMenuText(module);
  CheckManifest(module);
  CheckIconResource(module);

  CheckText(ClassOf(main), "#32770", "main window is a dialog");
  CheckText(WindowText(main), kMainCaption, "caption");
  const DWORD style = static_cast<DWORD>(GetWindowLongW(main, GWL_STYLE));
  const DWORD exStyle = static_cast<DWORD>(GetWindowLongW(main, GWL_EXSTYLE));
  const DWORD wanted = WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
  Check((style & wanted) == wanted && !(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)),
        "dialog style " + Hex(style));
  Check(exStyle & WS_EX_APPWINDOW, "dialog has a taskbar button (app window)");
  const RECT at = ScreenRect(main);
  Check(at.left == 0 && at.top == 0, "dialog opens at 0,0: " + RectText(at));

  const DialogFont font;
  const BaseUnits units = UnitsOf(main, kMainDialog);
  const BaseUnits fontUnits = font.Units();
  Check(fontUnits.x == units.x && fontUnits.y == units.y,
        "base units match the dialog font: " + std::to_string(fontUnits.x) + "x" +
            std::to_string(fontUnits.y));
  CheckLiveControls(main, kMainDialog, units, font, program.Focus());

  const HWND combo = GetDlgItem(main, IDC_BRAKES);
  const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  std::string entries;
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = L"";
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    char narrow[256];
    WideCharToMultiByte(CP_UTF8, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    entries += (i ? " | " : "") + std::string(narrow);
  }
  CheckText(entries, "0% (pro-sim) | 25% | 50% | 75% | 100% (original Kestrune value)",
            "level list entries");
  Check(SendMessageW(combo, CB_GETCURSEL, 0, 0) == 4, "level 100% selected at start");
  CheckText(WindowText(combo), kLevels[4], "level list shows");
  CheckText(WindowText(GetDlgItem(main, IDC_PATH)), "", "path box empty at start");
  CheckText(WindowText(main), kMainCaption, "caption");

  // Focus starts on Restore; Tab walks the template order.
  const HWND restore = GetDlgItem(main, IDC_RESTORE);
  Check(program.Focus() == restore, "focus starts on the Restore button");
  Screenshot("start", ScreenRect(main));
  const int order[] = {IDC_APPLY, IDC_PATH, IDC_BRAKES, IDC_RESTORE};
  for (const int id : order) {
    Key(VK_TAB);
    program.Sync(main);
    Check(WaitFor([&] { return program.Focus() == GetDlgItem(main, id); }, 3000),
          "Tab moves the focus to control " + std::to_string(id));
  }

  // The window icon: the caption shows the disc's red calliper.
  Check(RedPixels(HitRect(main, HTSYSMENU)) > 3, "caption shows the brake disc icon");
}

void TestAboutBox(const Program& program, HWND main) {
  const std::string before = Snapshot(main);

  // Through the system menu: a click on the caption icon opens it; Up
  // selects its last item.
  Check(ClickHit(main, HTSYSMENU), "caption has a system menu button");
  const HWND menu = program.WaitWindow("#32768", "", 5000);
  Check(menu != nullptr, "system menu opens");
  if (menu != nullptr) {
    const RECT r = ScreenRect(menu);
    Check(LastItemFollowsSeparator(r), "system menu: a separator before the last item");
    Screenshot("system-menu", r);
  }
  Key(VK_UP);
  Key(VK_RETURN);
  HWND about = program.WaitWindow("#32770", kAboutCaption, 5000);
  Check(about != nullptr, "the system menu's last item opens the about box");
  if (about != nullptr) CheckAboutBox(program, main, about, before);

  // From the keyboard: Alt+Space opens it, Up selects the last item.
  // (The item's access key A is in string 101; Wine gives its own item in
  // this menu the same key, so pressing A here would choose that one.)
  Key(VK_SPACE, VK_MENU);
  Check(program.WaitWindow("#32768", "", 5000) != nullptr, "Alt+Space opens the system menu");
  Key(VK_UP);
  Key(VK_RETURN);
  about = program.WaitWindow("#32770", kAboutCaption, 5000);
  Check(about != nullptr, "Alt+Space, Up, Enter opens the about box");
  if (about != nullptr) {
    Key(VK_ESCAPE);
    Check(WaitFor([&] { return !IsWindow(about); }, 5000), "Escape closes the about box");
  }

  // The command's low four bits are the system's: 0x0010 to 0x001F all mean
  // About; 0x0020 is no command at all.
  PostMessageW(main, WM_SYSCOMMAND, 0x001F, 0);
  about = program.WaitWindow("#32770", kAboutCaption, 5000);
  Check(about != nullptr, "system command 0x001F opens the about box");
  if (about != nullptr) {
    Click(GetDlgItem(about, IDOK));
    WaitFor([&] { return !IsWindow(about); }, 5000);
  }
  PostMessageW(main, WM_SYSCOMMAND, 0x0020, 0);
  Sleep(400);
  program.Sync(main);
  Check(program.Windows("#32770", kAboutCaption).empty(), "system command 0x0020 does nothing");
  Check(Snapshot(main) == before, "main dialog unchanged");
}

void TestMinimised(const Program& program, HWND main) {
  const std::string before = Snapshot(main);
  PostMessageW(main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  Check(WaitFor([&] { return IsIconic(main) != FALSE; }, 5000), "the dialog minimises");
  program.Sync(main);
  Sleep(300);
  const RECT r = ScreenRect(main);
  Screenshot("minimised", r);
  Check(RedPixels(r) > 3, "the minimised window shows the brake disc icon");
  PostMessageW(main, WM_SYSCOMMAND, SC_RESTORE, 0);
  Check(WaitFor([&] { return !IsIconic(main); }, 5000), "the dialog comes back");
  program.Sync(main);
  SetForegroundWindow(main);
  Sleep(200);
  Check(Snapshot(main) == before, "main dialog unchanged after minimising");
}

void TestRuns(const Program& program, HWND main, const std::string& work,
              const std::string& game, const Cars& cars) {
  const std::string current = work + "\\current";

  // No path: Apply and Restore both ask for one; nothing is touched.
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kEnterPath}, "Apply with an empty path");
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kEnterPath}, "Restore with an empty path");
  Check(FolderIsEmpty(current), "the program's current folder is untouched");

  // A folder without the game's files.
  const std::string nowhere = work + "\\nowhere";
  SetPath(program, main, nowhere);
  SelectLevel(program, main, 2);
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main,
                {"Failed to find file '" + nowhere +
                 "\\cars\\n12\\n12.csv', has the path been entered correctly?"},
                "Apply to a wrong path");
  CheckBackups(game, cars, false, "after the wrong path");
  CheckDataFiles(game, cars, -1, "after the wrong path");

  // Apply 50% to the real folder.
  SetPath(program, main, game + "\\");
  SelectLevel(program, main, 2);
  Screenshot("dialog", ScreenRect(main));
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply 50%", "notice");
  CheckBackups(game, cars, true, "after Apply 50%");
  CheckDataFiles(game, cars, 2, "after Apply 50%");
  CheckText(WindowText(GetDlgItem(main, IDC_PATH)), game + "\\", "path box still as typed");

  // Levels never compound: 0% comes from the untouched backups.
  SelectLevel(program, main, 0);
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply 0%");
  CheckBackups(game, cars, true, "after Apply 0%");
  CheckDataFiles(game, cars, 0, "after Apply 0%");

  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kRestoredAll}, "Restore");
  CheckDataFiles(game, cars, -1, "after Restore");
  CheckBackups(game, cars, true, "after Restore");

  // Without the trailing backslash: Apply and Restore both add it.
  SetPath(program, main, game);
  SelectLevel(program, main, 1);
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply 25% without the last backslash");
  CheckDataFiles(game, cars, 1, "after Apply 25% without the last backslash");
  CheckText(WindowText(GetDlgItem(main, IDC_PATH)), game, "path box still as typed");
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kRestoredAll}, "Restore without the last backslash");
  CheckDataFiles(game, cars, -1, "after Restore without the last backslash");

  // 100% keeps the values but still rewrites each file from its backup.
  SelectLevel(program, main, 4);
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply 100%");
  CheckDataFiles(game, cars, 4, "after Apply 100%");
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kRestoredAll}, "Restore after 100%");
  CheckDataFiles(game, cars, -1, "after the last Restore");
  Check(FolderIsEmpty(current), "the program's current folder is still untouched");
}

// Applies 50% to the game folder `folder` (as the path box has it) and
// restores it, checking the notices and the files.
void ApplyAndRestore(const Program& program, HWND main, const std::string& folder,
                     const Cars& cars, const std::string& how) {
  SelectLevel(program, main, 2);
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply " + how);
  CheckDataFiles(folder, cars, 2, "after Apply " + how);
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kRestoredAll}, "Restore " + how);
  CheckDataFiles(folder, cars, -1, "after Restore " + how);
}

// A game folder of more than 300 characters typed in: both buttons work, and
// a notice that names a path as long fits the screen.
void TestLongFolder(const Program& program, HWND main, const std::string& work) {
  const std::string deep =
      work + "\\SteamLibrary-MirroredBySyncClient-0123456789abcdef0123456789abcdef\\steamapps"
             "\\common\\Kestrune-Game-of-the-Year-Edition-With-Every-Downloadable-Content-Pack-"
             "0123456789abcdef\\Kestrune-Deluxe-Soundtrack-And-Artbook-Bundle-0123456789abcdef"
             "0123456789abcdef\\Kestrune-Install-0123456789\\data";
  const std::string what = "in a folder of " + std::to_string(deep.size() + 1) + " characters";
  const Cars cars = MakeGameFolder(deep);
  SetPath(program, main, deep + "\\");
  ApplyAndRestore(program, main, deep, cars, what);

  SetPath(program, main, deep + "\\nowhere\\");
  ClickButton(program, main, IDC_APPLY);
  if (program.WaitWindow("#32770", kNoticeCaption, 30000) != nullptr) {
    Screenshot("long-path-notice",
               {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
  }
  ExpectNotices(program, main,
                {"Failed to find file '" + deep +
                 "\\nowhere\\cars\\n12\\n12.csv', has the path been entered correctly?"},
                "Apply to a wrong path " + what);
}

// ---------------------------------------------------------------------------
// The status text: what the game folder in the path box holds now.

const std::string kOwnStatus =
    "All 47 cars have the game's own files: online play works.\nRestore copies back 47 backups, "
    "the same as the cars' files: nothing changes.";
const std::string kNeverAppliedStatus =
    "All 47 cars have the game's own files: online play works.\nRestore has nothing to copy back.";
const std::string kAt50Status =
    "All 47 cars: 50%.\nRestore puts the game's own files back on all 47 cars.";
const std::string kAt100Status =
    "All 47 cars: 100%; online play needs Restore.\nRestore puts the game's own files back on "
    "all 47 cars.";

std::string LeadsToStatus(const std::string& data) {
  return "This is not the data folder. The game's data folder is '" + data + "'.";
}

std::string Unbroken(std::string text) {
  std::erase(text, '\n');
  return text;
}

// The status as it reads, without the line breaks that fit it to its box.
std::string StatusText(HWND main) { return Unbroken(WindowText(GetDlgItem(main, IDC_STATUS))); }


void ExpectStatus(HWND main, const std::string& status, const std::string& what,
                  const std::string& shot = "") {
  const std::string expected = Unbroken(status);
  WaitFor([&] { return StatusText(main) == expected; }, 10000);
  CheckText(StatusText(main), expected, "the status " + what);
  if (!shot.empty()) Screenshot(shot, ScreenRect(main));
}

HWND SuggestionList(const Program& program);

// A picture of the dialog and its status as the player reads it: the path
// box's suggestion list, which typing opened, is closed first, as Escape
// closes only that list.
void ShootStatus(const Program& program, HWND main, const std::string& shot) {
  if (SuggestionList(program) != nullptr) {
    Key(VK_ESCAPE);
    WaitFor([&] { return SuggestionList(program) == nullptr; }, 3000);
  }
  program.Sync(main);
  Screenshot(shot, ScreenRect(main));
  Check(SuggestionList(program) == nullptr && IsWindowVisible(main),
        "no suggestion list in the picture " + shot + "; the dialog is open");
}

// Another window takes the focus, then the player clicks the dialog's caption.
void ActivateAgain(const Program& program, HWND main) {
  const HWND other = CreateWindowExW(WS_EX_TOPMOST, L"Static", L"another program",
                                     WS_POPUP | WS_VISIBLE | WS_BORDER, 700, 600, 200, 60,
                                     nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(other);
  Check(WaitFor([&] { return GetForegroundWindow() == other; }, 5000),
        "another window becomes active");
  ClickHit(main, HTCAPTION);
  Check(WaitFor([&] { return GetForegroundWindow() == main; }, 5000),
        "a click on its caption makes the dialog active again");
  DestroyWindow(other);
  program.Sync(main);
}

// A car's data file held by another program, without sharing, while alive.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldFile() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// The status of the data folder `game` (the game's own files, as TestRuns
// leaves them) after each run, after the game has replaced three cars'
// files while the dialog was open, and while another program holds a file;
// a wrong path gets none.
void TestStatus(const Program& program, HWND main, const std::string& work,
                const std::string& game, const Cars& cars) {
  const HWND edit = GetDlgItem(main, IDC_PATH);
  SetPath(program, main, game + "\\");
  ExpectStatus(main, kOwnStatus, "of the game's own files");
  ShootStatus(program, main, "status-own");
  SelectLevel(program, main, 2);
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply 50% for the status");
  ExpectStatus(main, kAt50Status, "after Apply 50%", "status-tweaked");
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kRestoredAll}, "Restore for the status");
  ExpectStatus(main, kOwnStatus, "after Restore");
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply 50% again for the status");
  ExpectStatus(main, kAt50Status, "after Apply 50% again");

  // The game replaces three cars' files while the dialog is open.
  for (const char* id : {"131", "n12", "xsa"}) WriteBytes(DataFile(game, id), GameUpdate(cars.at(id)));
  Check(StatusText(main) == Unbroken(kAt50Status),
        "the status stays as it was until the dialog is active again");
  ActivateAgain(program, main);
  ExpectStatus(main,
               "Cars: 44 at 50%, 3 updated by the game (Apply tweaks them again).\n"
               "Restore puts the game's own files back on 44 cars.",
               "once the game has replaced three cars' files", "status-updated");

  // Another program holds a car's file: its car is named at once, and the
  // dialog goes on taking input meanwhile.
  {
    const HeldFile held(DataFile(game, "207"));
    Check(held.held(), "the driver holds 207's data file");
    ActivateAgain(program, main);
    ExpectStatus(main,
                 "Cars: 43 at 50%, 3 updated by the game (Apply tweaks them again), 1 "
                 "unreadable (another program may hold it).\nRestore puts the game's own "
                 "files back on 43 cars.",
                 "while another program holds a file");
    Click(edit);
    Key(VK_END);
    Type("x");
    Check(WaitFor([&] { return WindowText(edit) == game + "\\x"; }, 5000),
          "the dialog takes typing while a file is held");
    Key(VK_BACK);
    WaitFor([&] { return WindowText(edit) == game + "\\"; }, 5000);
  }
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main,
                {"Updated by the game: 131, n12, xsa.They have the game's own files already, so "
                 "they were left as they are.",
                 "Restored backup copies of 44 files"},
                "Restore for the status after the game's update");
  ExpectStatus(main,
               "All 47 cars have the game's own files: online play works.\nRestore copies back "
               "44 backups, the same as the cars' files: nothing changes.",
               "after that Restore");
  for (const char* id : {"131", "n12", "xsa"}) WriteBytes(DataFile(game, id), cars.at(id));
  CheckDataFiles(game, cars, -1, "after the status's runs");

  SetPath(program, main, work + "\\nowhere");
  Sleep(1500);  // the typing pause and a reading
  CheckText(StatusText(main), "", "the status of a wrong path");
}

// The status beside the notice that Restore then gives, and what Restore
// then changes: on the game's own files with their backups (as TestStatus
// leaves them), where Restore copies every backup back and changes nothing,
// and with every car at 100%.
void TestStatusBesideRestore(const Program& program, HWND main, const std::string& game,
                             const Cars& cars) {
  SetPath(program, main, game + "\\");
  ExpectStatus(main, kOwnStatus, "of the game's own files with their backups");
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kRestoredAll}, "Restore of the game's own files");
  CheckDataFiles(game, cars, -1, "after Restore of the game's own files");
  ExpectStatus(main, kOwnStatus, "after Restore of the game's own files");

  SelectLevel(program, main, 4);
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply 100% for the status");
  CheckDataFiles(game, cars, 4, "after Apply 100% for the status");
  ExpectStatus(main, kAt100Status, "after Apply 100%");
  ShootStatus(program, main, "status-100");
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main, {kRestoredAll}, "Restore of the cars at 100%");
  CheckDataFiles(game, cars, -1, "after Restore of the cars at 100%");
  ExpectStatus(main, kOwnStatus, "after Restore of the cars at 100%");
}

// A data file of `bytes` bytes that take no room on disk: all NULs, which
// the tweaker reads through and drops one by one, as slowly as a slow disk
// would give them.
void MakeSparseFile(const std::string& path, LONGLONG bytes) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD returned = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = bytes;
  Check(file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
            SetEndOfFile(file),
        "a sparse file of " + std::to_string(bytes >> 20) + " MiB");
  CloseHandle(file);
}

// A reading that takes seconds, as on a slow disk or a network folder: the
// status says so while the dialog goes on taking input, and a newer reading
// replaces it.
void TestSlowReading(const Program& program, HWND main, const std::string& work) {
  const std::string slow = work + "\\slow";
  const Cars cars = MakeGameFolder(slow);
  WriteBytes(BackupFile(slow, "131"), cars.at("131"));
  MakeSparseFile(DataFile(slow, "131"), LONGLONG{128} << 20);
  const HWND edit = GetDlgItem(main, IDC_PATH);
  SetPath(program, main, slow + "\\");
  const DWORD start = GetTickCount();
  ExpectStatus(main, "Reading the game's files\u2026", "during a slow reading");
  ShootStatus(program, main, "status-reading");
  Type("x");
  Check(WaitFor([&] { return WindowText(edit) == slow + "\\x"; }, 3000),
        "the dialog takes typing during a slow reading");
  Sleep(1000);  // the typing pause, then a reading of the new text
  CheckText(StatusText(main), "", "the status of the new text, which names no folder");
  Key(VK_BACK);
  ExpectStatus(main, "Reading the game's files\u2026", "during the slow reading again");
  // The car reads as updated by the game, which leaves every car the game's.
  const std::string done = kNeverAppliedStatus;
  WaitFor([&] { return StatusText(main) == Unbroken(done); }, 120000);
  std::printf("(the slow readings took %lu ms)\n", GetTickCount() - start);
  ExpectStatus(main, done, "once the slow reading is done");
  DeleteFileA(DataFile(slow, "131").c_str());
  ActivateAgain(program, main);
  ExpectStatus(main,
               "All 46 installed cars have the game's own files: online play works.\n"
               "Restore has nothing to copy back.",
               "once the car has gone");
}

// A data folder whose cars are in every condition the status names, in
// kCarIds order: 28 at 50%, 10 at 25%, 3 the game's own (one restored), 2
// updated by the game, 1 changed after its tweak, 1 whose data file is a
// folder, 2 not installed.
void MakeMixedFolder(const std::string& folder) {
  const Cars cars = MakeGameFolder(folder);
  for (std::size_t i = 0; i < kCarIds.size(); ++i) {
    const std::string id = kCarIds[i], data = DataFile(folder, id);
    const std::string& original = cars.at(id);
    if (i < 38 || i > 39) WriteBytes(BackupFile(folder, id), original);
    if (i < 38) WriteBytes(data, Patched(original, i < 28 ? 2 : 1));
    if (i == 41 || i == 42) WriteBytes(data, GameUpdate(original));
    if (i == 43) {
      const std::string tweak = Patched(original, 2);
      const std::size_t second = tweak.find("\r\n") + 2;
      WriteBytes(data, tweak.substr(0, second) + tweak.substr(tweak.find("\r\n", second) + 2));
    }
    if (i >= 44) DeleteFileA(data.c_str());
    if (i == 44) CreateDirectoryA(data.c_str(), nullptr);
  }
}

const std::string kMixedStatus =
    "Cars: 10 at 25%, 28 at 50%, 3 the game's own, 2 updated by the game (Apply tweaks "
    "them again), 1 changed by hand or another program (both buttons leave it), 1 "
    "unreadable (another program may hold it), 2 not installed.\nRestore copies back 39 "
    "backups: 38 cars get the game's own files back, 1 has them already.";

// The system's DPI for programs started while this object lives.
class SystemDpi {
 public:
  explicit SystemDpi(int dpi) {
    const DWORD value = static_cast<DWORD>(dpi);
    RegSetKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels", REG_DWORD,
                    &value, sizeof value);
  }
  ~SystemDpi() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", L"LogPixels");
  }
  SystemDpi(const SystemDpi&) = delete;
  SystemDpi& operator=(const SystemDpi&) = delete;
};

// The status of the mixed folder MIXED, the longest the status says of a
// real folder, keeps within its own control, which keeps between the level
// list and the Restore button inside the Options box; the other controls
// keep their places.
void CheckStatusFits(const Program& program, HWND main, const std::string& mixed, int dpi) {
  const std::string at = " at " + std::to_string(dpi) + " DPI";
  CheckLiveControls(main, kMainDialog, UnitsOf(main, kMainDialog), DialogFont(dpi),
                    program.Focus());
  SetPath(program, main, mixed + "\\");
  ExpectStatus(main, kMixedStatus, "of the mixed folder" + at);
  ShootStatus(program, main, "status-mixed-" + std::to_string(dpi));
  const HWND status = GetDlgItem(main, IDC_STATUS);
  const RECT box = RectIn(Children(main).front(), main), r = RectIn(status, main);
  const RECT levels = RectIn(GetDlgItem(main, IDC_BRAKES), main);
  const RECT restore = RectIn(GetDlgItem(main, IDC_RESTORE), main);
  Check(r.left > box.left && r.right < box.right && r.top >= levels.bottom &&
            r.bottom <= restore.top,
        "the status lies between the level list and Restore inside the box" + at + ": " +
            RectText(r));
  RECT client;
  GetClientRect(status, &client);
  const int needed = DialogFont(dpi).WrappedHeight(WindowText(status), client.right);
  Check(needed <= client.bottom, "the status's " + std::to_string(needed) + " px of text fit its " +
                                     std::to_string(client.bottom) + " px" + at);
}

// Restore on the mixed folder MIXED, as its status has it: the notices name
// the cars it leaves, its count is the status's, and the status then says
// that the same backups are the cars' files. The folder is made anew after.
void TestRestoreOfMixedFolder(const Program& program, HWND main, const std::string& mixed) {
  ClickButton(program, main, IDC_RESTORE);
  ExpectNotices(program, main,
                {"Car tun was left as it is: '" + DataFile(mixed, "tun") +
                     "' is a folder, pipe or device, not a file.",
                 "Updated by the game: tac, tou.They have the game's own files already, so "
                 "they were left as they are.",
                 "Changed by hand or by another program after a tweak: tri.They were left as "
                 "they are. To get the game's own files back, let the game verify its files.",
                 "Restored backup copies of 39 files"},
                "Restore of the mixed folder");
  ExpectStatus(main,
               "Cars: 41 the game's own, 2 updated by the game (Apply tweaks them again), 1 "
               "changed by hand or another program (both buttons leave it), 1 unreadable "
               "(another program may hold it), 2 not installed.\nRestore copies back 39 "
               "backups, the same as the cars' files.",
               "after Restore of the mixed folder");
  ShootStatus(program, main, "status-mixed-restored");
  RemoveDirectoryA(DataFile(mixed, "tun").c_str());
  MakeMixedFolder(mixed);
}

// Wine's open suggestion list: a pop-up of the program holding a list box.
HWND SuggestionList(const Program& program) {
  for (const HWND popup : program.Windows("Static", "")) {
    if (const HWND list = FindWindowExA(popup, nullptr, "ListBox", nullptr)) return list;
  }
  return nullptr;
}

void Paste(const Program& program, HWND main, const std::string& text) {
  if (OpenClipboard(nullptr)) {
    EmptyClipboard();
    const HGLOBAL copy = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
    std::memcpy(GlobalLock(copy), text.c_str(), text.size() + 1);
    GlobalUnlock(copy);
    SetClipboardData(CF_TEXT, copy);
    CloseClipboard();
  }
  const HWND edit = GetDlgItem(main, IDC_PATH);
  Click(edit);
  WaitFor([&] { return program.Focus() == edit; }, 5000);
  Key(VK_END);
  Key(VK_HOME, VK_SHIFT);
  Key('V', VK_CONTROL);
  WaitFor([&] { return WindowText(edit) == text; }, 5000);
  CheckText(WindowText(edit), text, "path pasted");
}

// Suggestions taken by keyboard and a pasted Linux path, on a game root
// folder (`data` and two other folders) in WORK. The dialog takes dropped
// files; what a drop of each kind of item does is ui_test's DropOnTheDialog,
// since no drop from another process reaches the dialog under Wine.
void TestFindingTheFolder(const Program& program, HWND main, const std::string& work) {
  const std::string root = work + "\\Kestrune", data = root + "\\data\\";
  Check(GetWindowLongW(main, GWL_EXSTYLE) & WS_EX_ACCEPTFILES, "the dialog takes dropped files");
  for (const std::string& folder : {root, root + "\\dlc", root + "\\docs"}) {
    CreateDirectoryA(folder.c_str(), nullptr);
  }
  const Cars cars = MakeGameFolder(root + "\\data");
  const HWND edit = GetDlgItem(main, IDC_PATH);
  const auto running = [&] {
    DWORD code = 0;
    return !program.WaitExit(0, &code) && program.Windows("#32770", kNoticeCaption).empty();
  };

  SetPath(program, main, root + "\\d");
  HWND list = nullptr;
  WaitFor([&] { return (list = SuggestionList(program)) != nullptr; }, 5000);
  program.Sync(main);
  const RECT below = list != nullptr ? ScreenRect(GetParent(list)) : RECT{};
  Check(list != nullptr && SendMessageW(list, LB_GETCOUNT, 0, 0) == 3 &&
            below.right - below.left > DialogFont().Width(root + "\\docs\\"),
        "typing " + root + "\\d suggests its three folders, in full");
  RECT shot = ScreenRect(main);
  UnionRect(&shot, &shot, &below);
  Screenshot("suggestions", shot);
  Key(VK_DOWN);
  Key(VK_RETURN);
  program.Sync(main);
  CheckText(WindowText(edit), data, "Down and Enter take the first suggestion");
  Check(!SuggestionList(program) && program.Focus() == edit && running(),
        "Enter closed the list; the program is open, the focus in the path box");
  Type("c");
  Check(WaitFor([&] { return SuggestionList(program) != nullptr; }, 5000),
        "typing on after it suggests its subfolders");
  Key(VK_DOWN);
  Key(VK_TAB);
  program.Sync(main);
  CheckText(WindowText(edit), data + "cars\\", "Down and Tab take the suggestion");
  Check(program.Focus() == GetDlgItem(main, IDC_BRAKES) && running(),
        "Tab goes on to the level list; the program is open");
  Click(edit);
  Key(VK_END);
  Type("n");
  Check(WaitFor([&] { return SuggestionList(program) != nullptr; }, 5000),
        "typing cars\\n suggests car folders");
  Key(VK_ESCAPE);
  program.Sync(main);
  Check(!SuggestionList(program) && running(), "Escape closes only the list");
  CheckDataFiles(root + "\\data", cars, -1, "after the suggestions (no run)");

  // The path a Linux file manager shows (WORK is on Z:, Wine's drive for the
  // Linux root), with the program started in C:\windows.
  std::string linuxPath = data.substr(2);
  for (char& c : linuxPath) c = c == '\\' ? '/' : c;
  Paste(program, main, linuxPath);
  ApplyAndRestore(program, main, root + "\\data", cars, "through a Linux path");
}

// The found folders' list while open: the program's one top-level list box.
HWND FoundList(const Program& program) {
  const std::vector<HWND> lists = program.Windows("ListBox", "");
  return lists.empty() ? nullptr : lists.front();
}

std::vector<std::string> ListLines(HWND list) {
  std::vector<std::string> lines;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t line[1024] = L"";
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
    lines.push_back(ToUtf8(line));
  }
  return lines;
}

// The list's line `index` on the screen.
RECT LineRect(HWND list, int index) {
  RECT line = {};
  SendMessageW(list, LB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&line));
  MapWindowPoints(list, nullptr, reinterpret_cast<POINT*>(&line), 2);
  return line;
}

const char kStillSearching[] = "(Still searching this PC...)";
const char kBigLibrary[] = "C:\\SteamLibrary";

// Two copies of the game in a Steam library at its default place on drive
// C:, among a game folder of 500 folders and 400 links to it that Linux
// makes (which Wine shows as links), so that the search, which looks into
// each of those folders, takes seconds. Returns the two data folders.
std::vector<std::string> MakeBigLibrary() {
  RunLinux("rm -rf '" + LinuxPath(kBigLibrary) + "'");
  const std::string common = std::string(kBigLibrary) + "\\steamapps\\common\\";
  const std::vector<std::string> found = {common + "Kestrune\\data\\",
                                          common + "Kestrune Beta\\data\\"};
  for (const std::string& data : found) MakeGameFolder(data.substr(0, data.size() - 1));
  Check(RunLinux("cd '" + LinuxPath(common) +
                 "' && seq 500 | sed s,^,Vault/sub, | xargs mkdir -p && "
                 "for n in $(seq 400); do ln -s Vault 'Linked '$n || exit 1; done") == 0,
        "a big Steam library made by Linux");
  return found;
}

// Down in the box, and the found folders' list that opens; the box is
// emptied first unless `typed` is false.
HWND OpenFoundList(const Program& program, HWND main, bool typed = true) {
  if (typed) SetPath(program, main, "");
  Key(VK_DOWN);
  HWND list = nullptr;
  WaitFor([&] { return (list = FoundList(program)) != nullptr; }, 3000);
  return list;
}

void ScreenshotWithList(const std::string& name, HWND main, HWND list) {
  RECT shot = ScreenRect(main), open = ScreenRect(list);
  UnionRect(&shot, &shot, &open);
  Screenshot(name, shot);
}

// Down right after the start, while the search goes on: the list shows what
// is found so far and, last, a line that says so.
void TestListDuringSlowSearch(const Program& program, HWND main) {
  const HWND list = OpenFoundList(program, main);
  std::vector<std::string> lines;
  WaitFor(  // a reading that meets the list while it grows may be torn
      [&] {
        if (list != nullptr) lines = ListLines(list);
        return !lines.empty() && lines.back() == kStillSearching;
      },
      2000);
  Check(!lines.empty() && lines.back() == kStillSearching &&
            WindowText(GetDlgItem(main, IDC_PATH)).empty(),
        "Down during the search opens the list, with the last line \"" +
            (lines.empty() ? std::string() : lines.back()) + "\"; nothing filled in");
  if (list != nullptr) ScreenshotWithList("found-folders-searching", main, list);
  Key(VK_ESCAPE);
  Check(WaitFor([&] { return FoundList(program) == nullptr; }, 3000), "Escape closes the list");
}

// Whether the open `list` comes to hold just the folders `found`, in any
// order, within a minute; `shown` gets its lines as last read. The lines are
// read one by one from another process while the list may change, so only a
// reading that holds just those folders counts.
bool ListComesToHold(HWND list, std::vector<std::string> found, std::string& shown) {
  std::sort(found.begin(), found.end());
  std::vector<std::string> lines;
  const bool held = list != nullptr && WaitFor(
                                           [&] {
                                             lines = ListLines(list);
                                             std::sort(lines.begin(), lines.end());
                                             return lines == found;
                                           },
                                           60000);
  for (const std::string& line : lines) shown += " | " + line;
  return held;
}

// Once the search has ended, the list holds each data folder found, and the
// line that said it goes on has gone, also from a list open meanwhile.
void TestListAfterTheSearch(const Program& program, HWND main,
                            const std::vector<std::string>& found) {
  const HWND list = OpenFoundList(program, main);
  std::string shown;
  Check(ListComesToHold(list, found, shown),
        "the list's last line goes when the search ends; both data folders are listed:" + shown);
  Key(VK_ESCAPE);
  WaitFor([&] { return FoundList(program) == nullptr; }, 3000);
}

// The dialog at the bottom of the screen, where the list opens above the
// path box and over the Restore button: a double-click on an entry there
// takes it, and its clicks never reach Restore. Then Down and Enter with the
// pointer resting where the list opens take nothing.
void TestListOverRestore(const Program& program, HWND main) {
  const HWND edit = GetDlgItem(main, IDC_PATH);
  const RECT dialog = ScreenRect(main);
  SetWindowPos(main, nullptr, dialog.left,
               GetSystemMetrics(SM_CYSCREEN) - (dialog.bottom - dialog.top) - 8, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  program.Sync(main);
  HWND list = OpenFoundList(program, main);
  const std::vector<std::string> lines =
      list != nullptr ? ListLines(list) : std::vector<std::string>();
  RECT over = {};
  int entry = -1;
  const RECT restore = ScreenRect(GetDlgItem(main, IDC_RESTORE));
  for (int i = 0; i < static_cast<int>(lines.size()) && entry < 0; ++i) {
    const RECT line = LineRect(list, i);
    if (IntersectRect(&over, &line, &restore)) entry = i;
  }
  Check(list != nullptr && ScreenRect(list).bottom <= ScreenRect(edit).top && entry >= 0,
        "at the bottom of the screen the list opens above the box, over the Restore button");
  if (entry < 0) return;
  ScreenshotWithList("found-folders-above", main, list);
  const POINT firstLine = {(LineRect(list, 0).left + LineRect(list, 0).right) / 2,
                           (LineRect(list, 0).top + LineRect(list, 0).bottom) / 2};
  DoubleClickAt((over.left + over.right) / 2, (over.top + over.bottom) / 2);
  Sleep(GetDoubleClickTime() + 200);
  program.Sync(main);
  Check(WindowText(edit) == lines[entry] && FoundList(program) == nullptr,
        "a double-click on the entry over Restore takes it: " + WindowText(edit));
  ExpectNotices(program, main, {}, "the double-click (Restore not run)");

  // The pointer rests where the list's first line will be.
  SetPath(program, main, "");
  SetCursorPos(firstLine.x, firstLine.y);
  Sleep(300);
  list = OpenFoundList(program, main, false);
  RECT opened = list != nullptr ? ScreenRect(list) : RECT{};
  Check(PtInRect(&opened, firstLine) && WindowText(edit).empty(),
        "the list opens under the resting pointer, and nothing is chosen");
  Key(VK_RETURN);
  Check(WaitFor([&] { return FoundList(program) == nullptr; }, 3000) && WindowText(edit).empty(),
        "Enter then takes nothing: the box stays empty");
  ExpectNotices(program, main, {}, "Enter in the list (no run)");
}

// Suggestions for what the box holds now: once it is emptied, one letter
// typed gets none of those for a folder typed before.
void TestSuggestionsAfterEmptying(const Program& program, HWND main, const std::string& work) {
  SetPath(program, main, work + "\\Kestrune\\");
  Check(WaitFor([&] { return SuggestionList(program) != nullptr; }, 5000),
        "typing a folder suggests its folders");
  SetPath(program, main, "");
  Type(work.substr(0, 1));
  Sleep(500);
  program.Sync(main);
  Check(SuggestionList(program) == nullptr,
        "emptied and \"" + work.substr(0, 1) + "\" typed, the box suggests nothing");
  Key(VK_BACK);
}

// A game folder of more than 300 characters typed as the path a Linux file
// manager shows, with the program started in C:\windows (so that Windows'
// current drive is not Linux's): both buttons work.
void TestLongLinuxPath(const Program& program, HWND main, const std::string& work) {
  const std::string deep =
      work + "\\Linux-Home-Of-A-Player-0123456789abcdef0123456789abcdef0123456789abcdef"
             "\\.local\\share\\Steam"
             "\\steamapps\\common\\Kestrune-Game-of-the-Year-Edition-With-Every-Downloadable-"
             "Content-Pack-0123456789abcdef\\Kestrune-Deluxe-Soundtrack-And-Artbook-Bundle-"
             "0123456789abcdef0123456789abcdef\\data";
  const Cars cars = MakeGameFolder(deep);
  std::string linuxPath = deep.substr(2) + "/";
  std::replace(linuxPath.begin(), linuxPath.end(), '\\', '/');
  SetPath(program, main, linuxPath);
  ApplyAndRestore(program, main, deep, cars,
                  "through a Linux path of " + std::to_string(linuxPath.size()) + " characters");
}

// The game's folder, its cars folder, a car's folder and a car's file typed
// as a Linux file manager shows them (WORK is on Z:, Linux's root), with and
// without the last slash: the status and Apply's notice name the data folder
// in the same form, with '/' alone.
void TestLinuxFormPaths(const Program& program, HWND main, const std::string& work) {
  std::string game = work.substr(2) + "/Kestrune";
  std::replace(game.begin(), game.end(), '\\', '/');
  const std::string data = game + "/data/";
  for (const std::string& item :
       {game, data + "cars", data + "cars/n12", data + "cars/n12/n12.csv"}) {
    for (const std::string& typed : {item, item + "/"}) {
      SetPath(program, main, typed);
      ExpectStatus(main, LeadsToStatus(data), "of " + typed);
      ClickButton(program, main, IDC_APPLY);
      ExpectNotices(program, main,
                    {"Failed to find file '" + item + "/cars\\n12\\n12.csv', has the path been "
                     "entered correctly? The game's data folder is '" + data + "'."},
                    "Apply to " + typed);
    }
  }
}

// How the text in the right half of a control's client area looks: how many
// pixels are not white, and the darkest channel among them. A cue reaches
// there in grey; a short text typed into the box does not.
struct Ink {
  int pixels = 0;
  int darkest = 255;
};
Ink InkOf(HWND control) {
  RECT r;
  GetClientRect(control, &r);
  MapWindowPoints(control, nullptr, reinterpret_cast<POINT*>(&r), 2);
  r.left = (r.left + r.right) / 2;
  Ink ink;
  for (const DWORD pixel : Capture(r)) {
    const int channels[] = {int(pixel >> 16 & 0xFF), int(pixel >> 8 & 0xFF), int(pixel & 0xFF)};
    const int darkest = *std::min_element(channels, channels + 3);
    ink.pixels += darkest < 0xF0;
    ink.darkest = std::min(ink.darkest, darkest);
  }
  return ink;
}

// The game in Steam's folder on drive C:, found for the player: the empty
// path box's cue, the list that Down opens there, and its data folder taken
// with Enter and applied. Typed, the game's folder and its cars folder each
// get the notice that names the data folder, and change nothing.
void TestFoundGame(const Program& program, HWND main, HMODULE module, const std::string& game,
                   const Cars& cars) {
  const std::string data = game + "\\data\\";
  const HWND edit = GetDlgItem(main, IDC_PATH);
  Check(WindowText(edit).empty() && program.Focus() == GetDlgItem(main, IDC_RESTORE) &&
            SendMessageW(GetDlgItem(main, IDC_BRAKES), CB_GETCURSEL, 0, 0) == 4,
        "the dialog starts as ever: the path box empty, 100% chosen, the focus on Restore");
  char cue[256] = "";
  LoadStringA(module, IDS_PATH_CUE, cue, sizeof cue);
  CheckText(cue, "Type or drop the data folder, or press Down", "string 103, the path box's cue");
  RECT client;
  GetClientRect(edit, &client);
  const LRESULT margins = SendMessageW(edit, EM_GETMARGINS, 0, 0);
  const int needed = DialogFont().Width(cue) + LOWORD(margins) + HIWORD(margins);
  Check(needed <= client.right, "the cue fits the box: needs " + std::to_string(needed) +
                                    " px, has " + std::to_string(client.right));
  const Ink ink = InkOf(edit);
  Check(ink.pixels > 20 && ink.darkest > 0x40, "the empty path box shows its cue in grey");
  Screenshot("cue-banner", ScreenRect(main));
  Click(edit);
  WaitFor([&] { return program.Focus() == edit; }, 5000);
  Check(InkOf(edit).pixels == ink.pixels, "the cue stays while the box has the focus");
  Type("C");
  Check(WaitFor([&] { return InkOf(edit).pixels == 0; }, 3000), "the cue goes once anything is typed");

  for (const std::string& typed : {game, data + "cars"}) {
    SetPath(program, main, typed);
    ExpectStatus(main, LeadsToStatus(data), "of " + typed);
    if (typed == game) ShootStatus(program, main, "status-leads-to");
    ClickButton(program, main, IDC_APPLY);
    ExpectNotices(program, main,
                  {"Failed to find file '" + typed +
                   "\\cars\\n12\\n12.csv', has the path been entered correctly? The game's "
                   "data folder is '" + data + "'."},
                  "Apply to " + typed);
    CheckText(WindowText(edit), typed, "the path box keeps what was typed");
  }
  CheckBackups(game + "\\data", cars, false, "after the paths that lead to the data folder");
  CheckDataFiles(game + "\\data", cars, -1, "after the paths that lead to the data folder");

  // The search may still be running: its line goes once it has ended.
  SetPath(program, main, "");
  const auto foundList = [&] { return FoundList(program); };
  Key(VK_DOWN);
  WaitFor([&] { return foundList() != nullptr && ListLines(foundList()).size() == 1; });
  const HWND list = foundList();
  wchar_t entry[1024] = L"";
  if (list != nullptr) SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(entry));
  Check(list != nullptr && SendMessageW(list, LB_GETCOUNT, 0, 0) == 1 &&
            std::wstring(entry) == std::wstring(data.begin(), data.end()) &&
            WindowText(edit).empty(),
        "Down in the empty box lists the data folder found, and fills nothing in");
  RECT shot = ScreenRect(main);
  if (list != nullptr) {
    const RECT below = ScreenRect(list);
    UnionRect(&shot, &shot, &below);
  }
  Screenshot("found-folders", shot);
  Key(VK_DOWN);
  Check(WaitFor([&] { return WindowText(edit) == data; }, 3000), "Down shows the folder in the box");
  Key(VK_ESCAPE);
  Check(WaitFor([&] { return foundList() == nullptr && WindowText(edit).empty(); }, 3000) &&
            program.Windows("#32770", kNoticeCaption).empty() && IsWindowVisible(main),
        "Escape closes the list and empties the box; the program is open");
  Key(VK_DOWN, VK_MENU);
  Check(WaitFor([&] { return foundList() != nullptr; }, 3000), "Alt+Down opens the list too");
  Key(VK_DOWN);
  Key(VK_RETURN);
  const bool taken =
      WaitFor([&] { return foundList() == nullptr && WindowText(edit) == data; }, 3000);
  Sleep(300);  // for a list that Enter's character would open
  Check(taken && program.Focus() == edit && IsWindowVisible(main) && !SuggestionList(program),
        "Down and Enter take the data folder, and no other list opens; the program is "
        "open, the focus in the box");
  ExpectStatus(main, kNeverAppliedStatus, "of the data folder found");
  ApplyAndRestore(program, main, game + "\\data", cars, "to the folder found");
}

// ---------------------------------------------------------------------------
// The found list as a combo box's list, the empty box's status, and the work
// done off the dialog's thread.

const char kNoneFoundStatus[] = "The game was not found on this PC: type or drop its data folder.";
const char kNoneFoundLine[] = "No game folder was found on this PC: type or drop the data folder.";

std::string FoundStatus(int places) {
  return (places == 1 ? std::string("The game was found on this PC")
                      : "The game was found in " + std::to_string(places) + " places") +
         ": press Down in the Path box, or click it.";
}

// With no game on this PC, the empty box's status says so; a click in the
// box opens the list with one line, which takes nothing, clicked or chosen
// by the keys.
void TestNothingFound(const Program& program, HWND main) {
  const HWND edit = GetDlgItem(main, IDC_PATH);
  ExpectStatus(main, kNoneFoundStatus, "of the empty box, nothing found");
  Click(edit);
  HWND list = nullptr;
  WaitFor([&] { return (list = FoundList(program)) != nullptr; }, 3000);
  const std::vector<std::string> lines =
      list != nullptr ? ListLines(list) : std::vector<std::string>();
  Check(lines == std::vector<std::string>{kNoneFoundLine} && WindowText(edit).empty(),
        "a click in the empty box opens the list with one line: \"" +
            (lines.empty() ? std::string() : lines.front()) + "\"");
  if (list == nullptr) return;
  ScreenshotWithList("found-none", main, list);
  const RECT line = LineRect(list, 0);
  ClickAt((line.left + line.right) / 2, (line.top + line.bottom) / 2);
  program.Sync(main);
  Check(FoundList(program) == list && WindowText(edit).empty(),
        "a click on the line takes nothing, and the list stays open");
  Key(VK_DOWN);
  Key(VK_RETURN);
  Check(WaitFor([&] { return FoundList(program) == nullptr; }, 3000) &&
            WindowText(edit).empty() && program.Focus() == edit,
        "Down and Enter take nothing either; the focus stays in the box");
  ExpectNotices(program, main, {}, "the line of nothing found (no run)");
}

// The bytes of each car's data file in `folders` (each with its backslash),
// by path.
std::map<std::string, std::string> FilesOf(const std::vector<std::string>& folders) {
  std::map<std::string, std::string> files;
  for (const std::string& folder : folders) {
    for (const char* id : kCarIds) {
      const std::string data = DataFile(folder.substr(0, folder.size() - 1), id);
      files[data] = ReadBytes(data);
    }
  }
  return files;
}

// The list open in the empty box, the pointer passed over every entry, then
// the list closed in each way but a choice: a click on Apply (which closes
// only the list, as a combo box's list does; the next click presses Apply),
// a click on the dialog's background, Tab, and the window deactivated and
// activated again. The pointer highlights each entry in turn and the box
// stays as it was, empty, so Apply asks for the path, and no game folder
// changes. What the arrow keys chose stays, the pointer passed over or not.
void TestPassingOverTheList(const Program& program, HWND main,
                            const std::vector<std::string>& found) {
  const HWND edit = GetDlgItem(main, IDC_PATH);
  const std::map<std::string, std::string> before = FilesOf(found);
  SetPath(program, main, "");
  ExpectStatus(main, FoundStatus(static_cast<int>(found.size())),
               "of the empty box, the game found in " + std::to_string(found.size()) + " places");
  // Each entry highlighted as the pointer comes onto it, the box as `box`.
  const auto passOver = [&](HWND list, const std::string& box) {
    bool asDue = list != nullptr;
    for (int i = 0; asDue && i < static_cast<int>(found.size()); ++i) {
      const RECT line = LineRect(list, i);
      SetCursorPos((line.left + line.right) / 2, (line.top + line.bottom) / 2);
      asDue = WaitFor([&] { return SendMessageW(list, LB_GETCURSEL, 0, 0) == i; }, 3000);
      program.Sync(main);
      asDue = asDue && WindowText(edit) == box;
    }
    return asDue;
  };
  const BaseUnits units = UnitsOf(main, kMainDialog);
  RECT client = {0, 0, 0, 0};
  MapWindowPoints(main, nullptr, reinterpret_cast<POINT*>(&client), 1);
  // Within the Options box, below Restore: the dialog's own background.
  const POINT background = {client.left + MulDiv(130, units.x, 4),
                            client.top + MulDiv(103, units.y, 8)};
  const std::pair<const char*, std::function<void()>> endings[] = {
      {"a click on Apply", [&] { Click(GetDlgItem(main, IDC_APPLY)); }},
      {"a click on the dialog's background", [&] { ClickAt(background.x, background.y); }},
      {"Tab", [&] { Key(VK_TAB); }},
      {"the window deactivated and activated again", [&] { ActivateAgain(program, main); }},
  };
  for (const auto& [how, close] : endings) {
    Click(edit);
    HWND list = nullptr;
    WaitFor([&] { return (list = FoundList(program)) != nullptr; }, 3000);
    Check(list != nullptr && ListLines(list).size() == found.size() && WindowText(edit).empty(),
          "a click in the empty box opens the list of the folders found, and fills nothing in");
    if (list != nullptr && std::string(how) == "Tab") ScreenshotWithList("found-click", main, list);
    Check(passOver(list, ""), "the pointer over each entry highlights it; the box stays empty");
    close();
    Check(WaitFor([&] { return FoundList(program) == nullptr; }, 3000) &&
              WindowText(edit).empty(),
          std::string(how) + " closes the list; the box is as it was, empty");
    if (std::string(how) == "a click on Apply") {
      ExpectNotices(program, main, {}, "the click on Apply, which only closed the list");
    }
    ClickButton(program, main, IDC_APPLY);
    ExpectNotices(program, main, {kEnterPath}, std::string("Apply after ") + how);
  }
  Click(edit);
  HWND list = nullptr;
  WaitFor([&] { return (list = FoundList(program)) != nullptr; }, 3000);
  Key(VK_DOWN);
  const std::string chosen = list != nullptr ? ListLines(list).front() : "";
  Check(WaitFor([&] { return WindowText(edit) == chosen; }, 3000) && passOver(list, chosen),
        "Down shows the first folder in the box, and the pointer passing over changes it not");
  ClickAt(background.x, background.y);
  Check(WaitFor([&] { return FoundList(program) == nullptr; }, 3000) &&
            WindowText(edit) == chosen,
        "a click on the background closes the list; the folder the keys chose stays");
  Check(FilesOf(found) == before, "no game folder changed");
  SetPath(program, main, "");
}

// With the game in one place, the empty box's status says so.
void TestFoundInOnePlace(const Program& program, HWND main) {
  SetPath(program, main, "");
  ExpectStatus(main, FoundStatus(1), "of the empty box, the game found in one place");
}

// A run started while a reading holds a car's file: the run stops the
// reading and gives it time to close the file, then replaces that car's
// file with no notice. The first car both read, 131, has a backup that
// begins with 96 MiB of NULs (taking no room on disk), which a reading drops
// one by one, so that the reading holds 131's files for a while.
void TestRunDuringReading(const Program& program, HWND main, const std::string& work) {
  const std::string folder = work + "\\read-while-run";
  const Cars cars = MakeGameFolder(folder);
  for (const auto& [id, original] : cars) {
    if (id != "131") WriteBytes(BackupFile(folder, id), original);
    WriteBytes(DataFile(folder, id), Patched(original, 2));
  }
  MakeSparseFile(BackupFile(folder, "131"), LONGLONG{96} << 20);
  const HANDLE backup = CreateFileA(BackupFile(folder, "131").c_str(), FILE_APPEND_DATA, 0,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD written = 0;
  WriteFile(backup, cars.at("131").data(), static_cast<DWORD>(cars.at("131").size()), &written,
            nullptr);
  CloseHandle(backup);
  SelectLevel(program, main, 3);
  SetPath(program, main, folder + "\\");
  ExpectStatus(main, "Reading the game's files\u2026", "while a reading is in 131's files");
  // Held for reading, the file cannot be opened by one who shares no reading.
  const HANDLE probe = CreateFileA(DataFile(folder, "131").c_str(), GENERIC_READ,
                                   FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   0, nullptr);
  const DWORD error = GetLastError();
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  Check(probe == INVALID_HANDLE_VALUE && error == ERROR_SHARING_VIOLATION,
        "the reading holds 131's data file as Apply is clicked");
  ClickButton(program, main, IDC_APPLY);
  ExpectNotices(program, main, {kFinished}, "Apply while a reading holds 131's file");
  CheckDataFiles(folder, cars, 3, "after Apply while a reading held 131's file");
}

// ---------------------------------------------------------------------------
// The game where its launcher put it.

// A stand-in for another program, running under that program's name: this
// driver copied to `exe` and started to sleep, ended when this object goes.
class SleepingStandIn {
 public:
  explicit SleepingStandIn(const std::string& exe) {
    wchar_t self[MAX_PATH] = L"";
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + ToUtf16ForDisplay(exe) + L"\" sleep";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    Check(CopyFileW(self, ToUtf16ForDisplay(exe).c_str(), FALSE) &&
              CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             nullptr, &startup, &info_),
          "a stand-in runs as " + exe);
  }
  ~SleepingStandIn() {
    if (info_.hProcess == nullptr) return;
    TerminateProcess(info_.hProcess, 0);
    WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
  }
  SleepingStandIn(const SleepingStandIn&) = delete;
  SleepingStandIn& operator=(const SleepingStandIn&) = delete;

 private:
  PROCESS_INFORMATION info_ = {};
};

const char kOwnSteam[] = "C:\\Apps\\Steam";
const char* const kLauncherFolders[] = {"C:\\Games", "C:\\GOG Games", "C:\\ProgramData\\Epic",
                                        kOwnSteam};

// The player's Linux home as Wine gives it (from $HOME), in which the test
// may write only where it is the folder `home` beside WORK, as the test's
// command makes it; empty otherwise.
std::string TestHome(const std::string& work) {
  char home[MAX_PATH] = "";
  const DWORD length = GetEnvironmentVariableA("WINEHOMEDIR", home, MAX_PATH);
  const std::string named = length > 4 && length < MAX_PATH ? home + 4 : "";  // after \??\ .
  const std::string beside = work.substr(0, work.find_last_of('\\') + 1) + "home";
  return _stricmp(named.c_str(), beside.c_str()) == 0 ? beside : "";
}

void RemoveLauncherInstalls(const std::string& home) {
  for (const char* folder : kLauncherFolders) RemoveTree(folder);
  if (!home.empty()) {
    RemoveTree(home + "\\.config\\heroic");
    RemoveTree(home + "\\Games");
  }
}

// The game where four launchers put it, each recording it in its own way:
// the Epic Games launcher's manifest of an install in a folder of the
// player's choosing, GOG's offline installer's folder, Heroic's list in the
// player's Linux home `home` (naming a Linux path), and a library of a Steam
// running from a folder of its own. Returns the data folders.
std::vector<std::string> MakeLauncherInstalls(const std::string& home) {
  RemoveLauncherInstalls(home);
  const std::string epic = "C:\\Games\\Kestrune Epic", heroic = home + "\\Games\\Heroic\\Kestrune";
  const std::string library = "C:\\Games\\Steam Library";
  const std::vector<std::string> games = {epic, "C:\\GOG Games\\Kestrune", heroic,
                                          library + "\\steamapps\\common\\Kestrune"};
  std::vector<std::string> found;
  for (const std::string& game : games) {
    MakeGameFolder(game + "\\data");
    found.push_back(game + "\\data\\");
  }
  const std::string manifests = "C:\\ProgramData\\Epic\\EpicGamesLauncher\\Data\\Manifests";
  const std::string heroicList = home + "\\.config\\heroic\\legendaryConfig\\legendary";
  for (const std::string& folder : {manifests, heroicList, std::string(kOwnSteam) + "\\steamapps"}) {
    std::filesystem::create_directories(folder);
  }
  WriteBytes(manifests + "\\6D1F8C0A4B2E4F1D9C7A3E5B8F0D2C41.item",
             "{\n\t\"FormatVersion\": 0,\n\t\"bIsIncompleteInstall\": false,\n\t"
             "\"LaunchExecutable\": \"Kestrune.exe\",\n\t\"AppName\": \"Osprey\",\n\t"
             "\"DisplayName\": \"Kestrune\",\n\t\"InstallLocation\": \"C:\\\\Games\\\\Kestrune Epic\",\n\t"
             "\"InstallSize\": 8123456789\n}");
  std::string linuxGame = heroic.substr(2);
  std::replace(linuxGame.begin(), linuxGame.end(), '\\', '/');
  WriteBytes(heroicList + "\\installed.json",
             "{\n  \"Osprey\": {\n    \"app_name\": \"Osprey\",\n    \"install_path\": \"" +
                 linuxGame + "\",\n    \"is_dlc\": false,\n    \"platform\": \"Windows\",\n"
                 "    \"title\": \"Kestrune\"\n  }\n}");
  WriteBytes(std::string(kOwnSteam) + "\\steamapps\\libraryfolders.vdf",
             "\"libraryfolders\"\n{\n\t\"0\"\n\t{\n\t\t\"path\"\t\t\"C:\\\\Apps\\\\Steam\"\n\t}\n"
             "\t\"1\"\n\t{\n\t\t\"path\"\t\t\"C:\\\\Games\\\\Steam Library\"\n\t}\n}\n");
  return found;
}

// Down lists each data folder that the launchers' records and folders lead
// to, and no other.
void TestFoundWhereLaunchersPutIt(const Program& program, HWND main,
                                  const std::vector<std::string>& found) {
  const HWND list = OpenFoundList(program, main);
  std::string shown;
  const bool listed = ListComesToHold(list, found, shown);
  Check(listed, "Down lists the game where Epic, GOG, Heroic and a Steam of its own put it:" +
                    shown);
  if (listed) ScreenshotWithList("found-where-launchers-put-it", main, list);
  Key(VK_ESCAPE);
  WaitFor([&] { return FoundList(program) == nullptr; }, 3000);
}

int RunTest(const std::string& exe, const std::string& work, const std::string& shots) {
  SetShotFolder(shots);
  RemoveTree(work);  // every run starts from a new game folder
  std::filesystem::create_directories(work);
  if (!shots.empty()) {
    for (const auto& entry : std::filesystem::directory_iterator(shots)) {
      if (entry.path().extension() == ".png") std::filesystem::remove(entry.path());
    }
  }
  const std::string current = work + "\\current";
  CreateDirectoryA(current.c_str(), nullptr);
  const std::string game = work + "\\game";
  const Cars cars = MakeGameFolder(game);

  const HMODULE module = LoadLibraryExA(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) throw std::runtime_error("cannot read the resources of " + exe);

  {
    std::printf("# The dialog, the about box and the runs\n");
    Program program(exe, current);
    const HWND main = Start(program);
    ExpectStatus(main, kNoneFoundStatus, "of the empty box once the search has found nothing");
    TestLook(program, main, module, exe);
    TestAboutBox(program, main);
    TestMinimised(program, main);
    TestNothingFound(program, main);
    TestRuns(program, main, work, game, cars);
    TestStatus(program, main, work, game, cars);
    TestStatusBesideRestore(program, main, game, cars);
    TestSlowReading(program, main, work);
    TestRunDuringReading(program, main, work);
    TestLongFolder(program, main, work);

    // The close box ends the program.
    Check(ClickHit(main, HTCLOSE), "caption has a close box");
    DWORD code = 1;
    Check(program.WaitExit(10000, &code) && code == 0, "the close box ends the program");
  }
  {
    std::printf("# Enter on the Restore button, then Enter in the path box\n");
    Sleep(5000);
    Program program(exe, current);
    const HWND main = Start(program);
    Check(program.Focus() == GetDlgItem(main, IDC_RESTORE), "focus starts on the Restore button");
    Key(VK_RETURN);
    ExpectNotices(program, main, {kEnterPath}, "Enter at start presses Restore");
    SetPath(program, main, game + "\\");
    SelectLevel(program, main, 0);
    Click(GetDlgItem(main, IDC_PATH));
    Key(VK_RETURN);
    DWORD code = 1;
    Check(program.WaitExit(10000, &code) && code == 0, "Enter in the path box ends the program");
    CheckDataFiles(game, cars, -1, "after Enter in the path box (no Apply)");
  }
  {
    std::printf("# Escape\n");
    Program program(exe, current);
    const HWND main = Start(program);
    SetPath(program, main, game + "\\");
    SelectLevel(program, main, 3);
    Key(VK_ESCAPE);
    DWORD code = 1;
    Check(program.WaitExit(10000, &code) && code == 0, "Escape ends the program");
    CheckDataFiles(game, cars, -1, "after Escape (no Apply)");
  }
  {
    std::printf("# Finding the game folder, started in C:\\windows as a launcher does\n");
    Program program(exe, "C:\\windows");
    const HWND main = Start(program);
    TestFindingTheFolder(program, main, work);
    TestLinuxFormPaths(program, main, work);
    Key(VK_ESCAPE);
    DWORD code = 1;
    Check(program.WaitExit(10000, &code) && code == 0, "Escape ends the program");
  }
  {
    std::printf("# The game found in Steam's folder on drive C:\n");
    const std::string steam = "C:\\Program Files (x86)\\Steam";
    const std::string steamGame = steam + "\\steamapps\\common\\Kestrune";
    RemoveTree(steam);
    const Cars found = MakeGameFolder(steamGame + "\\data");
    {
      Program program(exe, "C:\\windows");
      const HWND main = Start(program);
      TestFoundGame(program, main, module, steamGame, found);
      TestFoundInOnePlace(program, main);
      Key(VK_ESCAPE);
      DWORD code = 1;
      Check(program.WaitExit(10000, &code) && code == 0, "Escape ends the program");
    }
    RemoveTree(steam);  // the other cases find no game
  }
  {
    std::printf("# The game where Epic, GOG, Heroic and a Steam of its own put it\n");
    const std::string home = TestHome(work);
    Check(!home.empty(), "Wine gives the player's home as the folder beside " + work);
    if (!home.empty()) {
      const std::vector<std::string> found = MakeLauncherInstalls(home);
      {
        const SleepingStandIn steam(std::string(kOwnSteam) + "\\steam.exe");
        Program program(exe, "C:\\windows");
        const HWND main = Start(program);
        TestFoundWhereLaunchersPutIt(program, main, found);
        Key(VK_ESCAPE);
        DWORD code = 1;
        Check(program.WaitExit(10000, &code) && code == 0, "Escape ends the program");
      }
      RemoveLauncherInstalls(home);  // the other cases find no game
    }
  }
  {
    std::printf("# A big Steam library, and a Linux path of more than 300 characters\n");
    const std::vector<std::string> found = MakeBigLibrary();
    {
      Program program(exe, "C:\\windows");
      const HWND main = Start(program);
      TestListDuringSlowSearch(program, main);
      TestLongLinuxPath(program, main, work);  // while the search goes on
      TestSuggestionsAfterEmptying(program, main, work);
      TestListAfterTheSearch(program, main, found);
      TestPassingOverTheList(program, main, found);
      TestListOverRestore(program, main);
      Key(VK_ESCAPE);
      DWORD code = 1;
      Check(program.WaitExit(10000, &code) && code == 0, "Escape ends the program");
    }
    RunLinux("rm -rf '" + LinuxPath(kBigLibrary) + "'");  // RemoveTree would follow its links
  }
  {
    std::printf("# The status of a folder of mixed cars at 96, 144 and 192 DPI\n");
    const std::string mixed = work + "\\mixed";
    MakeMixedFolder(mixed);
    for (const int dpi : {96, 144, 192}) {
      const SystemDpi systemDpi(dpi);
      Program program(exe, current);
      const HWND main = Start(program);
      CheckStatusFits(program, main, mixed, dpi);
      if (dpi == 96) TestRestoreOfMixedFolder(program, main, mixed);
      Check(ClickHit(main, HTCLOSE), "caption has a close box");
      DWORD code = 1;
      Check(program.WaitExit(10000, &code) && code == 0, "the close box ends the program");
    }
  }
  Check(FolderIsEmpty(current), "the program's current folder is untouched at the end");
  std::printf("%d failed checks\n", Failures());
  return Failures() == 0 ? 0 : 1;
}

// ---------------------------------------------------------------------------
// The sample folder and the demonstration.

int RunSample(const std::string& folder) {
  MakeGameFolder(folder);
  std::printf("Wrote the data files of 47 cars under %s\\cars\n", folder.c_str());
  return 0;
}

// The status once a reading other than `before` has settled.
std::string SettledStatus(HWND main, const std::string& before = "") {
  const HWND status = GetDlgItem(main, IDC_STATUS);
  WaitFor([&] {
    const std::string text = WindowText(status);
    return !text.empty() && text != before && text != "Reading the game's files\u2026";
  });
  return WindowText(status);
}

// The text with each of its lines indented.
std::string Indented(std::string text) {
  for (std::size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 5) {
    text.insert(at + 1, "    ");
  }
  return "    " + text;
}

int RunDemo(const std::string& exe, const std::string& folder, const std::string& shots) {
  SetShotFolder(shots);
  std::filesystem::remove_all(folder);
  MakeGameFolder(folder);
  std::printf("Wrote a sample data folder with the files of 47 cars: %s\n", folder.c_str());
  const char* const shown[] = {"n12", "131"};
  std::map<std::string, std::string> before;
  for (const char* id : shown) before[id] = ReadBytes(DataFile(folder, id));

  Program program(exe, folder);
  const HWND main = Start(program);
  std::printf("The dialog is open. Typing the data folder %s\\ and choosing 50%%.\n",
              folder.c_str());
  SetPath(program, main, folder + "\\");
  SelectLevel(program, main, 2);
  std::string status = SettledStatus(main);
  std::printf("The status says:\n%s\n", Indented(status).c_str());
  ShootStatus(program, main, "dialog");
  std::printf("Clicking \"Apply to game\".\n");
  ClickButton(program, main, IDC_APPLY);
  std::printf("Notice: %s\n", TakeNotice(program, main, "notice").c_str());
  for (const char* id : shown) {
    std::printf("Car %s, extra brakes (field 278) of its 3 records: %s -> %s\n", id,
                BrakeValues(before[id]).c_str(),
                BrakeValues(ReadBytes(DataFile(folder, id))).c_str());
  }
  status = SettledStatus(main, status);
  std::printf("The status after Apply says:\n%s\n", Indented(status).c_str());
  ShootStatus(program, main, "status-applied");
  std::printf("Clicking \"Restore backup files (re-enable online play)\".\n");
  ClickButton(program, main, IDC_RESTORE);
  std::printf("Notice: %s\n", TakeNotice(program, main).c_str());
  bool restored = true;
  for (const char* id : shown) {
    const std::string now = ReadBytes(DataFile(folder, id));
    restored = restored && now == before[id];
    std::printf("Car %s after Restore: %s (%s)\n", id, BrakeValues(now).c_str(),
                now == before[id] ? "the original bytes" : "NOT the original");
  }
  status = SettledStatus(main, status);
  std::printf("The status after Restore says:\n%s\n", Indented(status).c_str());
  ShootStatus(program, main, "status-restored");
  Key(VK_ESCAPE);
  DWORD code = 1;
  const bool ended = program.WaitExit(10000, &code);
  std::printf("Escape closed the dialog: %s\n", ended ? "yes" : "no");
  return restored && ended && Failures() == 0 ? 0 : 1;
}

int RunFound(const std::string& exe, const std::string& shots) {
  SetShotFolder(shots);
  Program program(exe, "C:\\windows");
  const HWND main = Start(program);
  const RECT dialog = ScreenRect(main);
  SetWindowPos(main, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (dialog.right - dialog.left)) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - (dialog.bottom - dialog.top)) / 3, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER);
  const HWND list = OpenFoundList(program, main);
  std::vector<std::string> lines;
  WaitFor(
      [&] {
        lines = list != nullptr ? ListLines(list) : std::vector<std::string>();
        return !lines.empty() && lines.back() != kStillSearching;
      },
      60000);
  for (const std::string& line : lines) std::printf("found: %s\n", line.c_str());
  Screenshot("found-on-this-pc",
             {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
  Key(VK_ESCAPE);
  Key(VK_ESCAPE);
  DWORD code = 1;
  return program.WaitExit(10000, &code) && code == 0 && Failures() == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    const auto shots = [&](std::size_t i) {
      return args.size() > i && args[i] != "-" ? WinPath(args[i]) : std::string();
    };
    if (args.size() >= 3 && args[0] == "test") {
      return RunTest(WinPath(args[1]), WinPath(args[2]), shots(3));
    }
    if (args.size() == 2 && args[0] == "sample") return RunSample(WinPath(args[1]));
    if (args.size() == 1 && args[0] == "sleep") Sleep(INFINITE);
    if (args.size() >= 2 && args[0] == "found") return RunFound(WinPath(args[1]), shots(2));
    if (args.size() >= 3 && args[0] == "demo") {
      return RunDemo(WinPath(args[1]), WinPath(args[2]), shots(3));
    }
  } catch (const std::exception& error) {
    std::printf("FAIL %s\n", error.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: dialog_driver test PROGRAM WORKFOLDER [SHOTFOLDER]\n"
               "       dialog_driver sample FOLDER\n"
               "       dialog_driver demo PROGRAM FOLDER [SHOTFOLDER]\n"
               "       dialog_driver found PROGRAM SHOTFOLDER\n"
               "       dialog_driver sleep\n");
  return 2;
}
