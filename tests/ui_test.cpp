// The dialog program's own code. DropOnTheDialog opens the dialog, so it runs
// on a display (e2e/); the other cases need none.

#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

#include "drop_down_list.h"
#include "folder_drop.h"
#include "folder_list.h"
#include "framework.h"
#include "game_finder.h"
#include "linux_under_wine.h"
#include "remove_tree.h"
#include "resource.h"
#include "tweak_dlg.h"
#include "under_wine.h"
#include "utf16_win32.h"

std::vector<std::string> g_notices;
void ShowNotice(const std::string& text) { g_notices.push_back(text); }

namespace {

// A new empty folder under the temporary folder, with its backslash.
std::string NewFolder(const std::string& name) {
  char temp[MAX_PATH] = "";
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = temp + ("ui_test_" + name) + "\\";
  RemoveTree(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

std::wstring Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

// The list's entries from its position on, each followed by '|'.
std::wstring Entries(CFolderList* list) {
  std::wstring entries;
  LPOLESTR entry = nullptr;
  while (list->Next(1, &entry, nullptr) == S_OK) {
    entries += entry + std::wstring(L"|");
    CoTaskMemFree(entry);
  }
  return entries;
}

TEST(FolderList, ReadWhileAnotherThreadRebuildsIt) {
  const std::string many = NewFolder("many"), few = NewFolder("few");
  for (int i = 0; i < 40; ++i) std::filesystem::create_directory(many + std::to_string(i));
  for (int i = 0; i < 3; ++i) std::filesystem::create_directory(few + std::to_string(i));
  auto* list = new CFolderList;
  list->Expand(Wide(many).c_str());
  std::wstring known = Entries(list);
  list->Expand(Wide(few).c_str());
  known += Entries(list);

  std::atomic<bool> done = false;
  std::atomic<int> read = 0, unknown = 0;
  std::thread reader([&] {
    while (!done) {
      list->Reset();
      LPOLESTR strings[8];
      ULONG fetched = 0;
      do {
        list->Next(8, strings, &fetched);
        for (ULONG i = 0; i < fetched; ++i) {
          ++read;
          unknown += known.find(strings[i] + std::wstring(L"|")) == std::wstring::npos;
          CoTaskMemFree(strings[i]);
        }
      } while (list->Skip(1) == S_OK && fetched > 0);
    }
  });
  for (int i = 0; i < 400; ++i) list->Expand(Wide(i % 2 ? many : few).c_str());
  done = true;
  reader.join();
  list->Release();
  EXPECT_GT(read, 0);
  EXPECT_EQ(unknown, 0) << "entries in neither folder's list";
}

TEST(FolderList, LeavesOutFoldersWindowsKeepsForItself) {
  const std::string folder = NewFolder("attributes");
  for (const auto& [name, attributes] : {std::pair<const char*, DWORD>{"$Recycle.Bin",
                                             FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
                                         {".local", FILE_ATTRIBUTE_HIDDEN},
                                         {"Games", FILE_ATTRIBUTE_SYSTEM}}) {
    std::filesystem::create_directory(folder + name);
    ASSERT_TRUE(SetFileAttributesA((folder + name).c_str(), attributes)) << name;
  }
  auto* list = new CFolderList;
  list->Expand(Wide(folder).c_str());
  EXPECT_EQ(Entries(list), Wide(folder + ".local\\|" + folder + "Games\\|"));
  list->Release();
}

// A call for the folders of a prefix that ends after the box has changed
// (on Windows, on the autocompletion object's thread) leaves the list as it
// was; one for a prefix the box still begins with fills it.
TEST(FolderList, KeepsItsListFromACallForAnOldPrefix) {
  const std::string folder = NewFolder("old_prefix");
  for (const char* name : {"cars", "dlc"}) std::filesystem::create_directory(folder + name);
  auto* list = new CFolderList;
  list->SetTyped(Wide(folder + "c"));
  list->Expand(Wide(folder).c_str());
  EXPECT_EQ(Entries(list), Wide(folder + "cars\\|" + folder + "dlc\\|"));
  list->SetTyped(L"");
  list->Expand(L"");
  list->Expand(Wide(folder).c_str());  // late
  EXPECT_EQ(Entries(list), L"");
  list->SetTyped(L"C");
  list->Expand(Wide(folder).c_str());  // late, the box typed anew
  EXPECT_EQ(Entries(list), L"");
  list->SetTyped(Wide(folder + "dlc\\"));
  list->Expand(Wide(folder).c_str());
  EXPECT_EQ(Entries(list), Wide(folder + "cars\\|" + folder + "dlc\\|"));
  list->Release();
}

// Writes `text` to the file at the UTF-8 `path`, making its folders.
void Put(const std::string& path, const std::string& text) {
  const std::filesystem::path file = std::u8string(path.begin(), path.end());
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
}

// Steam's library list naming `folders`, as Steam writes it.
std::string LibraryList(const std::vector<std::string>& folders) {
  std::string list = "\"libraryfolders\"\n{\n";
  for (std::size_t i = 0; i < folders.size(); ++i) {
    std::string path;
    for (const char c : folders[i]) path += c == '\\' ? "\\\\" : std::string(1, c);
    list += "\t\"" + std::to_string(i) + "\"\n\t{\n\t\t\"path\"\t\t\"" + path + "\"\n\t}\n";
  }
  return list + "}\n";
}

TEST(GameFinder, FindsEachDataFolderOnceAndNothingElse) {
  const std::string root = NewFolder("finder"), c = root + "C\\", d = root + "D\\";
  const std::string probe = "cars\\n12\\n12.csv", steam = c + "Program Files (x86)\\Steam\\";
  const std::string flatpak = root + "home\\deck\\.var\\app\\com.valvesoftware.Steam\\"
                              ".local\\share\\Steam\\";
  // Steam's own library lists itself in other letters, a second library that
  // holds the game and a library since removed.
  Put(steam + "steamapps\\libraryfolders.vdf",
      LibraryList({c + "program files (x86)\\steam", d + "Игры\\Lib", d + "Gone"}));
  Put(d + "Игры\\Lib\\steamapps\\common\\Kestrune\\data\\" + probe, "");
  Put(steam + "steamapps\\common\\Other\\bin\\cars\\n12\\n13.csv", "");  // no probe
  Put(steam + "steamapps\\common\\Deep\\a\\b\\data\\" + probe, "");        // too deep
  Put(c + "SteamLibrary\\steamapps\\libraryfolders.vdf", "\"libraryfolders\" { \"1\" {");
  Put(c + "SteamLibrary\\steamapps\\common\\Kestrune\\" + probe, "");
  Put(c + "Program Files\\Epic Games\\Kestrune\\Game\\data\\" + probe, "");
  Put(flatpak + "steamapps\\common\\Kestrune\\data\\" + probe, "");
  std::vector<std::string> expected = {
      c + "Program Files\\Epic Games\\Kestrune\\Game\\data\\",
      c + "SteamLibrary\\steamapps\\common\\Kestrune\\",
      d + "Игры\\Lib\\steamapps\\common\\Kestrune\\data\\",
      flatpak + "steamapps\\common\\Kestrune\\data\\"};
  GameSearchPlaces places = {{c, d}, root + "home\\", ""};
  std::vector<std::string> links;
  if (RunningUnderWine()) {
    // The Flatpak's list names, as Linux paths, itself and an SD card.
    std::string linux = LinuxPath(root);
    if (!linux.ends_with('/')) linux += '/';
    Put(flatpak + "steamapps\\libraryfolders.vdf",
        LibraryList({linux + "home/deck/.var/app/com.valvesoftware.Steam/.local/share/Steam",
                     linux + "run/media/deck/SD card"}));
    const std::string sdCard = "run\\media\\deck\\SD card\\steamapps\\common\\Kestrune\\data\\";
    Put(root + sdCard + probe, "");
    places.linuxRoot = "Z:\\";
    expected.push_back("Z:" + linux + sdCard);
    std::replace(expected.back().begin(), expected.back().end(), '/', '\\');
    // Linux's links, which Wine shows as reparse points without data: one to
    // the second library's game, which is found once, by the first library's
    // name for it; one to nothing.
    links = {linux + "C/Program Files (x86)/Steam/steamapps/common/Linked",
             linux + "C/Program Files (x86)/Steam/steamapps/common/Dangling"};
    ASSERT_EQ(RunLinux("ln -s '" + linux + "D/Игры/Lib/steamapps/common/Kestrune' '" + links[0] +
                       "' && ln -s '" + linux + "gone' '" + links[1] + "'"),
              0);
    expected[2] = steam + "steamapps\\common\\Linked\\data\\";
  }
  CWin32Disks disks;
  std::vector<std::string> found;
  FindGameDataFolders(places, disks, [&](const std::string& folder) { found.push_back(folder); });
  if (!links.empty()) RunLinux("rm '" + links[0] + "' '" + links[1] + "'");  // not RemoveTree
  EXPECT_EQ(found.back(), expected.front()) << "a game's folders looked into after every game";
  std::sort(found.begin(), found.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
}

TEST(RunningUnderWine, AgreesWithTheRegistry) {
  HKEY wine = nullptr;
  const bool wineKey =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &wine) == ERROR_SUCCESS;
  if (wineKey) RegCloseKey(wine);
  EXPECT_EQ(RunningUnderWine(), wineKey);
  EXPECT_EQ(LinuxRootDrive(), wineKey ? L"Z:" : L"") << "the test prefix's drive for /";
}

// A long path in a notice is broken into lines that fit, after a separator
// or else a hyphen where one fits, never inside a character.
TEST(NoticeText, LongWordsAreBrokenToFitTheWidth) {
  const HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring shortText = LR"(Failed to find file 'C:\Games\data\cars\n12\n12.csv')";
  EXPECT_EQ(BreakLongWords(shortText, dc, 400), shortText);
  std::wstring text = LR"(Failed to find 'C:\)" + std::wstring(60, L'k') + L"\\" +
                      std::wstring(60, L'k') + L"\\" + std::wstring(50, L'n') + L"-" +
                      std::wstring(50, L'n') + L"\\";
  for (int i = 0; i < 100; ++i) text += L"\xD83C\xDFCE";
  const std::wstring broken = BreakLongWords(text + L"' now", dc, 400);
  std::wistringstream lines(broken);
  int breaks = 0;
  for (std::wstring line; std::getline(lines, line) && !lines.eof(); ++breaks) {
    const std::wstring piece = line.substr(line.rfind(L' ') + 1);
    SIZE size = {};
    GetTextExtentPoint32W(dc, piece.c_str(), static_cast<int>(piece.size()), &size);
    EXPECT_LE(size.cx, 400) << ToUtf8(piece);
    EXPECT_TRUE(piece.back() == L'\\' ||
                (piece.find(L'\\') == std::wstring::npos &&
                 (piece.back() == L'-' || piece.find(L'-') == std::wstring::npos)))
        << ToUtf8(piece);
    EXPECT_FALSE(IS_HIGH_SURROGATE(piece.back())) << ToUtf8(piece);
  }
  std::wstring joined = broken;
  std::erase(joined, L'\n');
  EXPECT_EQ(joined, text + L"' now");
  EXPECT_GE(breaks, 4);
  DeleteDC(dc);
}

// A drop of `item` as the system hands one to a window: DROPFILES, then the
// wide path and an empty one, in memory that the receiver frees.
HDROP DropOf(const std::string& item) {
  const std::wstring path = ToUtf16(item).value();
  const HGLOBAL drop = GlobalAlloc(GHND, sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t));
  auto* files = static_cast<DROPFILES*>(GlobalLock(drop));
  files->pFiles = sizeof(DROPFILES);
  files->fWide = TRUE;
  std::memcpy(files + 1, path.c_str(), path.size() * sizeof(wchar_t));
  GlobalUnlock(drop);
  return static_cast<HDROP>(drop);
}

// The tweaker's dialog, which runs `onScreen` once it is shown, then closes.
class ShownDialog : public CTweakDlg {
 public:
  std::function<void(HWND)> onScreen;

 protected:
  BOOL OnInitDialog() override {
    PostMessageA(m_hWnd, WM_APP, 0, 0);
    return CTweakDlg::OnInitDialog();
  }
  BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {
    if (message != WM_APP) return CTweakDlg::OnMessage(message, wParam, lParam, result);
    onScreen(m_hWnd);
    EndDialog(IDCANCEL);
    return TRUE;
  }
};

// Also in a folder past MAX_PATH, with names outside any one code page.
TEST(DropOnTheDialog, FillsThePathBoxWithTheDataFolder) {
  const std::string root = NewFolder("drops") + "Kestrune", data = root + "\\data\\";
  const std::string elsewhere = NewFolder("elsewhere"), car = data + "cars\\n12\\n12.csv";
  const std::string deep = NewFolder("deep") + std::string(120, 'k') + "\\" +
                           std::string(120, 'k') + "\\\u0418\u0433\u0440\u044b \U0001F3CE\\";
  for (const std::string& folder : {data, deep}) {
    const std::filesystem::path carFolder = ToUtf16(folder + "cars\\n12").value();
    std::filesystem::create_directories(carFolder);
    std::ofstream(carFolder / "n12.csv") << "record\n";
  }
  const std::pair<std::string, std::string> kDrops[] = {
      {root, data}, {root + "\\data", data}, {data + "cars", data}, {car, data},
      {elsewhere.substr(0, elsewhere.size() - 1), elsewhere},
      {deep.substr(0, deep.size() - 1), deep}};

  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  ShownDialog dialog;
  dialog.onScreen = [&](HWND window) {
    const HWND pathBox = GetDlgItem(window, IDC_PATH);
    for (const auto& [item, folder] : kDrops) {
      SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_APPLY)),
                   TRUE);  // the focus leaves the path box
      SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(item)), 0);
      wchar_t text[1024] = L"";
      GetWindowTextW(pathBox, text, 1024);
      EXPECT_EQ(ToUtf8(text), folder) << "drop of " << item;
      int shown = 0;
      EnumThreadWindows(
          GetCurrentThreadId(),
          [](HWND other, LPARAM count) {
            *reinterpret_cast<int*>(count) += IsWindowVisible(other) ? 1 : 0;
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&shown));
      EXPECT_TRUE(GetFocus() == pathBox && shown == 1)
          << "after the drop of " << item << ": the focus in the path box, no list";
    }
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  CoUninitialize();
  EXPECT_TRUE(g_notices.empty()) << "no run";
}

TEST(DropDownListOnTheDialog, ChoosesByKeysOrClickWhileTheBoxKeepsTheFocus) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  ShownDialog dialog;
  dialog.onScreen = [](HWND window) {
    const HWND pathBox = GetDlgItem(window, IDC_PATH);
    SendMessageW(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(pathBox), TRUE);
    CDropDownList list;
    std::vector<std::wstring> taken;
    const auto tell = [&](const std::wstring& entry) { taken.push_back(entry); };
    EXPECT_FALSE(list.Open(pathBox, {}, L"", tell));
    const std::vector<std::wstring> entries = {L"C:\\A\\", L"D:\\B\\", L"E:\\C\\"};
    ASSERT_TRUE(list.Open(pathBox, {entries[0], entries[1]}, L"(more)", tell));
    list.Move(1);
    list.Update(entries, L"");  // grown, the note gone, the choice kept
    std::wstring walk = *list.Chosen() + L"|";
    for (const int step : {1, -1, -1, -1, 1}) {
      const std::wstring* chosen = list.Move(step);
      walk += (chosen != nullptr ? *chosen : L"none") + L"|";
    }
    EXPECT_EQ(walk, L"C:\\A\\|D:\\B\\|C:\\A\\|none|E:\\C\\|none|");

    const HWND shown = FindWindowW(L"ListBox", nullptr);  // the only top-level one
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(SendMessageW(shown, LB_GETCOUNT, 0, 0), 3);
    RECT second;
    SendMessageW(shown, LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    const LPARAM onSecond = MAKELPARAM(second.left + 2, second.top + 2);
    SendMessageW(shown, WM_LBUTTONDOWN, MK_LBUTTON, onSecond);
    EXPECT_TRUE(list.Chosen() != nullptr && *list.Chosen() == entries[1]);
    EXPECT_TRUE(taken.empty()) << "taken on the press";
    SendMessageW(shown, WM_LBUTTONUP, 0, onSecond);
    EXPECT_EQ(taken, std::vector<std::wstring>{entries[1]}) << "taken on the release";
    EXPECT_EQ(GetFocus(), pathBox);

    ASSERT_TRUE(list.Open(pathBox, entries, L"", tell));

    RECT where;
    GetWindowRect(window, &where);
    SetWindowPos(window, nullptr, where.left + 10, where.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_FALSE(list.IsOpen()) << "closed when its window moves";
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  CoUninitialize();
}

}  // namespace
