// The dialog program's own code: the folder suggestions' list and the test
// for Wine.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "folder_list.h"
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

// Wine-only steps run exactly where Wine's registry is.
TEST(RunningUnderWine, AgreesWithTheRegistry) {
  HKEY wine = nullptr;
  const bool wineKey =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine", 0, KEY_READ, &wine) == ERROR_SUCCESS;
  if (wineKey) RegCloseKey(wine);
  EXPECT_EQ(RunningUnderWine(), wineKey);
}

}  // namespace
