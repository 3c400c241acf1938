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
#include <tuple>
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
#include "window_worker.h"

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

// A message-only window that calls a worker's Deliver on its message.
class DeliveringWindow {
 public:
  static constexpr UINT kResults = WM_APP + 9;
  explicit DeliveringWindow(CWindowWorker& worker)
      : window_(CreateWindowExW(0, L"Static", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                nullptr, nullptr)) {
    SetWindowSubclass(window_, &Proc, 0, reinterpret_cast<DWORD_PTR>(&worker));
  }
  ~DeliveringWindow() { DestroyWindow(window_); }
  HWND get() const { return window_; }
  // Handles every message that waits for the window.
  void Pump() const {
    MSG message;
    while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                               UINT_PTR, DWORD_PTR worker) {
    if (message != kResults) return DefSubclassProc(window, message, wParam, lParam);
    reinterpret_cast<CWindowWorker*>(worker)->Deliver();
    return 0;
  }
  HWND window_;
};

// An event that work waits on, as on a disk that does not answer.
class Gate {
 public:
  Gate() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
  ~Gate() { CloseHandle(event_); }
  void Open() const { SetEvent(event_); }
  bool Wait(DWORD ms = 10000) const { return WaitForSingleObject(event_, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE event_;
};

// A newer start stops the older work, and only the newest work's results
// reach the window, in order: neither those the older posted before nor
// after, nor any once the work is stopped.
TEST(WindowWorker, OnlyTheNewestWorksResultsReachTheWindow) {
  CWindowWorker worker;
  const DeliveringWindow window(worker);
  std::vector<std::string> shown;
  const auto show = [&](const std::string& name) { return [&, name] { shown.push_back(name); }; };
  std::atomic<bool> stoppedA = false;
  const Gate postedA;
  ASSERT_TRUE(worker.Start(window.get(), DeliveringWindow::kResults,
                           [&](const std::atomic<bool>& stop, const CWindowWorker::Post& post) {
                             post(show("A1"));
                             postedA.Open();
                             while (!stop) Sleep(1);
                             stoppedA = true;
                             post(show("A2"));
                           }));
  ASSERT_TRUE(postedA.Wait());
  const auto posting = [&](const std::string& name) {
    return [&, name](const std::atomic<bool>&, const CWindowWorker::Post& post) {
      post(show(name + "1"));
      post(show(name + "2"));
    };
  };
  ASSERT_TRUE(worker.Start(window.get(), DeliveringWindow::kResults, posting("B")));
  ASSERT_TRUE(worker.WaitStopped(10000));
  window.Pump();
  EXPECT_EQ(shown, (std::vector<std::string>{"B1", "B2"}));
  EXPECT_TRUE(stoppedA);
  EXPECT_FALSE(worker.Busy());

  ASSERT_TRUE(worker.Start(window.get(), DeliveringWindow::kResults, posting("C")));
  ASSERT_TRUE(worker.WaitStopped(10000));
  worker.Stop();
  window.Pump();
  EXPECT_EQ(shown.size(), 2u) << "C's results came after Stop";
}

// However many starts meet work that does not end (a share that stopped
// answering), at most kMostThreads threads are alive, and of the starts
// meanwhile only the newest runs. Waiting for stopped work takes no longer
// than asked.
TEST(WindowWorker, KeepsItsThreadsBoundedAndItsWaitsShort) {
  CWindowWorker worker;
  const DeliveringWindow window(worker);
  const Gate answer;
  std::atomic<int> alive = 0, most = 0, runs = 0;
  std::vector<int> shown;
  for (int start = 1; start <= 10; ++start) {
    ASSERT_TRUE(worker.Start(
        window.get(), DeliveringWindow::kResults,
        [&, start](const std::atomic<bool>&, const CWindowWorker::Post& post) {
          ++runs;
          most = std::max<int>(most, ++alive);
          answer.Wait();
          --alive;
          post([&, start] { shown.push_back(start); });
        }));
  }
  EXPECT_TRUE(worker.Busy());
  EXPECT_FALSE(worker.WaitStopped(50)) << "the work does not end";
  answer.Open();
  ASSERT_TRUE(worker.WaitStopped(10000));
  window.Pump();
  EXPECT_LE(most, CWindowWorker::kMostThreads);
  EXPECT_EQ(runs, CWindowWorker::kMostThreads + 1) << "the first ones and the newest";
  EXPECT_EQ(shown, std::vector<int>{10});
  EXPECT_FALSE(worker.Busy());

  const Gate release;
  ASSERT_TRUE(worker.Start(window.get(), DeliveringWindow::kResults,
                           [&](const std::atomic<bool>&, const CWindowWorker::Post&) {
                             release.Wait();
                           }));
  worker.Stop();
  const DWORD start = GetTickCount();
  EXPECT_FALSE(worker.WaitStopped(100));
  const DWORD waited = GetTickCount() - start;
  EXPECT_LT(waited, 1000u) << "waited " << waited << " ms";
  release.Open();
  EXPECT_TRUE(worker.WaitStopped(10000));
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

// Every text set on a window, as it is set, into the vector `texts`.
LRESULT CALLBACK RecordTexts(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                             DWORD_PTR texts) {
  if (message == WM_SETTEXT) {
    reinterpret_cast<std::vector<std::wstring>*>(texts)->push_back(
        reinterpret_cast<const wchar_t*>(lParam));
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

// A reading of what the path box held, which has ended and posted its result
// before the box changes, and whose message is handled after: its result is
// never shown, not even for a moment. The worker sets the timing: a reading
// starts at once on activation, and WaitStopped returns once it has posted.
TEST(StatusOnTheDialog, NeverShowsAReadingOfTextTheBoxNoLongerHolds) {
  const std::string data = NewFolder("status");
  Put(data + "cars\\n12\\n12.csv", "a,b\r\n");
  const std::string cars = data + "cars\\";
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  ShownDialog dialog;
  dialog.onScreen = [&](HWND window) {
    const HWND pathBox = GetDlgItem(window, IDC_PATH), status = GetDlgItem(window, IDC_STATUS);
    std::vector<std::wstring> shown;
    SetWindowSubclass(status, &RecordTexts, 0, reinterpret_cast<DWORD_PTR>(&shown));
    const auto readNow = [&](const std::string& text) {
      SetWindowTextW(pathBox, ToUtf16(text).value().c_str());
      SendMessageW(window, WM_ACTIVATE, WA_ACTIVE, 0);
      return dialog.m_stateReading.WaitStopped(10000);
    };
    const auto handleWaiting = [] {
      MSG message;
      while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    };
    ASSERT_TRUE(readNow(data));
    handleWaiting();
    const std::wstring ofData = WindowText(status);
    ASSERT_TRUE(readNow(cars));
    handleWaiting();
    const std::wstring ofCars = WindowText(status);
    EXPECT_TRUE(!ofData.empty() && !ofCars.empty() && ofData != ofCars)
        << "each reading shown while the box holds what it read";

    for (const auto& [read1, then, old] : {std::tuple(data, cars, ofData),
                                           std::tuple(cars, data, ofCars)}) {
      ASSERT_TRUE(readNow(read1));
      shown.clear();
      SetWindowTextW(pathBox, ToUtf16(then).value().c_str());
      handleWaiting();
      EXPECT_TRUE(std::find(shown.begin(), shown.end(), old) == shown.end())
          << "the reading of " << read1 << " shown once the box held " << then;
    }
    RemoveWindowSubclass(status, &RecordTexts, 0);
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  CoUninitialize();
}

}  // namespace
