// The dialog program's own code: the folder suggestions' list, the walk up
// from a dropped item, the test for Wine, and drops on the dialog (which
// needs a display: DropOnTheDialog runs apart, in e2e/).

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <thread>

#include "folder_drop.h"
#include "folder_list.h"
#include "resource.h"
#include "tweak_dlg.h"
#include "under_wine.h"

std::vector<std::string> g_notices;
void ShowNotice(const std::string& text) { g_notices.push_back(text); }

namespace {

// A new empty folder under the temporary folder, removed at the end.
class TempFolder {
 public:
  explicit TempFolder(const std::string& name) {
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    path = std::string(temp) + "ui_test_" + name;
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

std::wstring Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

TEST(FolderList, ReadWhileAnotherThreadRebuildsIt) {
  const TempFolder temp("rebuilt");
  std::set<std::wstring> entries;
  for (const char* list : {"many", "few"}) {
    for (int i = 0; i < (list[0] == 'm' ? 40 : 3); ++i) {
      const std::string folder = temp.path + "\\" + list + "\\sub" + std::to_string(i);
      std::filesystem::create_directories(folder);
      entries.insert(Wide(folder + "\\"));
    }
  }
  const std::wstring many = Wide(temp.path + "\\many\\"), few = Wide(temp.path + "\\few\\");

  auto* list = new CFolderList;
  std::atomic<bool> done = false;
  std::atomic<int> read = 0, wrong = 0;
  std::thread reader([&] {
    while (!done) {
      list->Reset();
      LPOLESTR strings[8];
      ULONG fetched = 0;
      do {
        list->Next(8, strings, &fetched);
        for (ULONG i = 0; i < fetched; ++i) {
          ++read;
          wrong += entries.count(strings[i]) == 0;
          CoTaskMemFree(strings[i]);
        }
        list->Skip(1);
      } while (fetched > 0);
    }
  });
  for (int i = 0; i < 400; ++i) list->Expand((i % 2 ? many : few).c_str());
  done = true;
  reader.join();
  list->Release();
  EXPECT_GT(read, 0);
  EXPECT_EQ(wrong, 0) << "entries that are in neither folder's list";
}

TEST(FolderList, LeavesOutFoldersWindowsKeepsForItself) {
  const TempFolder temp("attributes");
  const std::pair<const char*, DWORD> kFolders[] = {
      {"$Recycle.Bin", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM},
      {".local", FILE_ATTRIBUTE_HIDDEN},
      {"Games", FILE_ATTRIBUTE_SYSTEM},
      {"Kestrune", FILE_ATTRIBUTE_NORMAL}};
  for (const auto& [name, attributes] : kFolders) {
    const std::string folder = temp.path + "\\" + name;
    std::filesystem::create_directories(folder);
    ASSERT_TRUE(SetFileAttributesA(folder.c_str(), attributes)) << name;
  }
  auto* list = new CFolderList;
  const std::string typed = temp.path + "\\";
  list->Expand(Wide(typed).c_str());
  std::wstring listed;
  LPOLESTR entry = nullptr;
  while (list->Next(1, &entry, nullptr) == S_OK) {
    listed += entry;
    listed += L'|';
    CoTaskMemFree(entry);
  }
  list->Release();
  const std::wstring folder = Wide(typed);
  EXPECT_EQ(listed, folder + L".local\\|" + folder + L"Games\\|" + folder + L"Kestrune\\|");
}

// Every folder a drop's walk looks in above `folder`, nearest first.
std::vector<std::string> WalkAbove(const std::string& folder) {
  std::vector<std::string> above;
  for (std::string at = FolderAbove(folder); !at.empty(); at = FolderAbove(at)) {
    above.push_back(at);
  }
  return above;
}

TEST(DroppedItem, WalkStopsAtTheRootOfItsVolume) {
  using Folders = std::vector<std::string>;
  EXPECT_EQ(WalkAbove(R"(C:\Games\Kestrune\)"), (Folders{R"(C:\Games\)", R"(C:\)"}));
  EXPECT_EQ(WalkAbove(R"(\\?\C:\Games\)"), Folders{R"(\\?\C:\)"});
  EXPECT_EQ(WalkAbove(R"(\\.\D:\Games\)"), Folders{R"(\\.\D:\)"});
  // A network item never reaches above its share.
  EXPECT_EQ(WalkAbove(R"(\\nas\games\stuff\cars\)"),
            (Folders{R"(\\nas\games\stuff\)", R"(\\nas\games\)"}));
  EXPECT_EQ(WalkAbove("//nas/games/stuff/"), Folders{"//nas/games/"});
  EXPECT_EQ(WalkAbove(R"(\\?\UNC\nas\games\stuff\)"), Folders{R"(\\?\UNC\nas\games\)"});
  EXPECT_EQ(WalkAbove(R"(\\?\unc\nas\games\)"), Folders{});
  EXPECT_EQ(WalkAbove(R"(\\nas\games\)"), Folders{});
  // No root to stop at: no walk.
  for (const char* folder : {R"(\\nas\)", R"(C:Games\data\)", R"(\Games\data\)",
                             R"(Games\data\)", R"(\\?\Volume{4c1b02c1}\Games\)"}) {
    EXPECT_EQ(WalkAbove(folder), Folders{}) << folder;
  }
}

// Wine-only steps run exactly where Wine's registry is.
TEST(RunningUnderWine, AgreesWithTheRegistry) {
  HKEY wine = nullptr;
  const bool wineKey =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &wine) == ERROR_SUCCESS;
  if (wineKey) RegCloseKey(wine);
  EXPECT_EQ(RunningUnderWine(), wineKey);
}

// A drop of `item` as the system hands one to a window: DROPFILES, then the
// wide path and an empty one, in memory that the receiver frees.
HDROP DropOf(const std::string& item) {
  const std::wstring path = Wide(item);
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
    CTweakDlg::OnInitDialog();
    PostMessageA(m_hWnd, WM_APP, 0, 0);
    return TRUE;
  }
  BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override {
    if (message != WM_APP) return CTweakDlg::OnMessage(message, wParam, lParam, result);
    onScreen(m_hWnd);
    EndDialog(IDCANCEL);
    return TRUE;
  }
};

int VisibleWindowsOfThisThread() {
  int visible = 0;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM count) {
        *reinterpret_cast<int*>(count) += IsWindowVisible(window) ? 1 : 0;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&visible));
  return visible;
}

std::string TextOf(HWND window) {
  char text[MAX_PATH] = "";
  GetWindowTextA(window, text, MAX_PATH);
  return text;
}

TEST(DropOnTheDialog, FillsThePathBoxWithTheDataFolder) {
  const TempFolder temp("drops");
  const std::string root = temp.path + "\\Kestrune", data = root + "\\data\\";
  const std::string elsewhere = temp.path + "\\elsewhere", car = data + "cars\\n12\\n12.csv";
  for (const std::string& folder : {root + "\\dlc", data + "cars\\n12", elsewhere}) {
    std::filesystem::create_directories(folder);
  }
  std::ofstream(car) << "record\n";
  const std::pair<std::string, std::string> kDrops[] = {
      {root, data}, {root + "\\data", data}, {data + "cars", data}, {car, data},
      {elsewhere, elsewhere + "\\"}};

  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  ShownDialog dialog;
  dialog.onScreen = [&](HWND window) {
    const HWND pathBox = GetDlgItem(window, IDC_PATH);
    for (const auto& [item, folder] : kDrops) {
      SendMessageA(window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(window, IDC_APPLY)),
                   TRUE);  // the focus leaves the path box
      SendMessageA(window, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(item)), 0);
      EXPECT_EQ(TextOf(pathBox), folder) << "drop of " << item;
      EXPECT_EQ(GetFocus(), pathBox) << "the focus goes to the path box";
      EXPECT_EQ(VisibleWindowsOfThisThread(), 1) << "no suggestion list, no notice";
    }
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  CoUninitialize();
  EXPECT_TRUE(g_notices.empty()) << "no run";
}

}  // namespace
