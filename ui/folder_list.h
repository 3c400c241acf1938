#pragma once

// The folder list behind the path box's suggestions: the subfolders of one
// folder, as the shell's autocompletion object asks for them. It calls
// Expand with the typed text up to its last separator whenever that changes,
// then reads the list, and itself keeps the entries that begin with all that
// is typed. Each entry is the typed folder, the name and the same separator,
// so that taking one lets the user go on into it.
//
// Every method may be called from any thread: on Windows the autocompletion
// object calls Expand and reads the list from a thread of its own, while the
// dialog's thread measures the entries.

#include <windows.h>
#include <shlobj.h>

#include <optional>
#include <string>
#include <vector>

class CFolderList final : public IEnumString, public IACList {
 public:
  CFolderList() = default;  // holds one reference, the creator's
  CFolderList(const CFolderList&) = delete;
  CFolderList& operator=(const CFolderList&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  // Lists the subfolders of `typed` aside, then puts that list in place of
  // the old one and starts reading it from its first entry; but keeps the
  // old one where the box, as SetTyped last gave it, no longer begins with
  // `typed`, as when a call for an older prefix ends late.
  STDMETHODIMP Expand(LPCWSTR typed) override;
  // What the box holds now; to be called on each change of its text.
  void SetTyped(std::wstring text);

  STDMETHODIMP Next(ULONG count, LPOLESTR* strings, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumString** copy) override;  // E_NOTIMPL

  // The width of the widest entry in the font selected into `dc`.
  int WidestEntry(HDC dc) const;

 private:
  ~CFolderList() = default;

  LONG m_nRefs = 1;
  mutable SRWLOCK m_lock = SRWLOCK_INIT;  // guards the list and the position
  std::vector<std::wstring> m_folders;
  std::size_t m_nNext = 0;  // the entry Next gives first
  std::optional<std::wstring> m_typed;  // what the box holds, once known
};
