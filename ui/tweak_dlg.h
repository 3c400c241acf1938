#pragma once

#include <string>
#include <vector>

#include "folder_suggestions.h"
#include "framework.h"
#include "game_state.h"
#include "window_worker.h"

// The main window: the game's data path, the brake level and the two
// buttons that start the engine's runs.
class CTweakDlg : public CDialog {
 public:
  explicit CTweakDlg(CDialog* parent = nullptr);
  ~CTweakDlg() override;

  std::string m_strPath;   // the data folder as typed in IDC_PATH
  int m_nBrakeLevel = 4;   // index of the entry selected in IDC_BRAKES, 0 to 4
  HICON m_hIcon = nullptr;       // the application icon, for the window and when minimised
  HICON m_hSmallIcon = nullptr;  // the same for the caption, both at the window's DPI
  CFolderSuggestions m_folderSuggestions;  // in IDC_PATH
  CWindowWorker m_gameSearch;              // for the folders IDC_PATH offers
  CWindowWorker m_stateReading;            // for IDC_STATUS

 protected:
  void DoDataExchange(CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  void OnOK() override { CDialog::OnOK(); }
  void OnCancel() override { CDialog::OnCancel(); }
  BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                 INT_PTR& result) override;

 private:
  void SetIcons();
  BOOL OnSysCommand(UINT id, LPARAM lParam);
  BOOL OnPaint();
  HCURSOR OnQueryDragIcon() { return m_hIcon; }
  void OnRestore();
  void OnApply();
  void OnDropFiles(HDROP drop);
  void OnGameFound(const std::vector<std::string>& folders, bool searching);
  void ReadGameState();
  void ShowGameState(const std::string& typed, const GameFolderState& state);
  void StopReading(DWORD waitMs);
  void SetStatus(const std::string& text);

  bool m_bRunning = false;   // a run is in progress, its notices included
  std::string m_strStatus;   // what IDC_STATUS says, before it is fitted
};

// The about box, opened from the main window's system menu.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override;

 protected:
  BOOL OnInitDialog() override;
  BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam,
                 INT_PTR& result) override;

 private:
  void SetIcon();

  HICON m_hIcon = nullptr;  // shown at the window's DPI
};
