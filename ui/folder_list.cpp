#include "folder_list.h"

#include <shlguid.h>

#include <algorithm>
#include <new>

#include "under_wine.h"
#include "utf16_win32.h"

namespace {

// The subfolders of `folder` in alphabetical order, but for those that are
// both hidden and system, which Windows keeps for itself ($Recycle.Bin and
// System Volume Information at a drive's root). Hidden folders are listed:
// Wine marks Linux dot folders hidden, and Steam keeps its games under one
// (~/.local/share/Steam). Wine reads a path that begins with / as a
// Linux path only as far as its first backslash, and only when that much
// exists, so under Wine such a folder is searched as <folder>\*; on Windows
// it is a folder of the current drive, searched as any other.
std::vector<std::wstring> SubfoldersOf(const std::wstring& folder) {
  std::vector<std::wstring> found;
  if (folder.empty()) return found;
  WIN32_FIND_DATAW entry;
  const bool linuxPath = folder[0] == L'/' && RunningUnderWine();
  const HANDLE search =
      FindFirstFileExW(ExtendedLengthPath(folder + (linuxPath ? L"\\*" : L"*")).c_str(),
                       FindExInfoBasic, &entry, FindExSearchLimitToDirectories,
                       nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return found;
  constexpr DWORD kSystemOwned = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  try {
    do {
      const std::wstring name = entry.cFileName;
      if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          (entry.dwFileAttributes & kSystemOwned) != kSystemOwned && name != L"." &&
          name != L"..") {
        found.push_back(folder + name + folder.back());
      }
    } while (FindNextFileW(search, &entry));
  } catch (...) {
    FindClose(search);
    throw;
  }
  FindClose(search);
  std::sort(found.begin(), found.end(),
            [](const std::wstring& a, const std::wstring& b) {
              return lstrcmpiW(a.c_str(), b.c_str()) < 0;
            });
  return found;
}

}  // namespace

STDMETHODIMP CFolderList::QueryInterface(REFIID iid, void** object) {
  if (iid == IID_IUnknown || iid == IID_IEnumString) {
    *object = static_cast<IEnumString*>(this);
  } else if (iid == IID_IACList) {
    *object = static_cast<IACList*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) CFolderList::AddRef() { return InterlockedIncrement(&m_nRefs); }

STDMETHODIMP_(ULONG) CFolderList::Release() {
  const ULONG left = InterlockedDecrement(&m_nRefs);
  if (left == 0) delete this;
  return left;
}

// Out of memory, the list is left empty.
STDMETHODIMP CFolderList::Expand(LPCWSTR typed) {
  const std::wstring_view prefix = typed != nullptr ? typed : L"";
  std::vector<std::wstring> folders;
  HRESULT result = S_OK;
  try {
    folders = SubfoldersOf(std::wstring(prefix));
  } catch (const std::bad_alloc&) {
    result = E_OUTOFMEMORY;
  }
  AcquireSRWLockExclusive(&m_lock);
  if (!m_typed || m_typed->starts_with(prefix)) {
    m_folders.swap(folders);
    m_nNext = 0;
  }
  ReleaseSRWLockExclusive(&m_lock);
  return result;  // the list let go of goes with `folders`, outside the lock
}

void CFolderList::SetTyped(std::wstring text) {
  AcquireSRWLockExclusive(&m_lock);
  m_typed = std::move(text);
  ReleaseSRWLockExclusive(&m_lock);
}

STDMETHODIMP CFolderList::Next(ULONG count, LPOLESTR* strings, ULONG* fetched) {
  ULONG given = 0;
  AcquireSRWLockExclusive(&m_lock);
  for (; given < count && m_nNext < m_folders.size(); ++given, ++m_nNext) {
    const std::wstring& folder = m_folders[m_nNext];
    const std::size_t bytes = (folder.size() + 1) * sizeof(wchar_t);
    strings[given] = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (strings[given] == nullptr) break;
    CopyMemory(strings[given], folder.c_str(), bytes);
  }
  ReleaseSRWLockExclusive(&m_lock);
  if (fetched != nullptr) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP CFolderList::Skip(ULONG count) {
  AcquireSRWLockExclusive(&m_lock);
  m_nNext += count;
  const bool inList = m_nNext <= m_folders.size();
  ReleaseSRWLockExclusive(&m_lock);
  return inList ? S_OK : S_FALSE;
}

STDMETHODIMP CFolderList::Reset() {
  AcquireSRWLockExclusive(&m_lock);
  m_nNext = 0;
  ReleaseSRWLockExclusive(&m_lock);
  return S_OK;
}

STDMETHODIMP CFolderList::Clone(IEnumString** copy) {
  *copy = nullptr;
  return E_NOTIMPL;
}

int CFolderList::WidestEntry(HDC dc) const {
  int widest = 0;
  AcquireSRWLockShared(&m_lock);
  for (const std::wstring& folder : m_folders) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, folder.c_str(), static_cast<int>(folder.size()), &size);
    widest = std::max<int>(widest, size.cx);
  }
  ReleaseSRWLockShared(&m_lock);
  return widest;
}
