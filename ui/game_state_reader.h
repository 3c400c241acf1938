#pragma once

// Reads what the path box names (ReadGameFolderState) on a thread of its own
// for each reading, so that a slow disk or a network folder that stops
// answering never holds up the window. A newer reading replaces an older one:
// the older is told to stop, and what it read is dropped. A thread touches no
// window but to post the message, and no COM; it may outlive this object, and
// is left to end by itself (or with the process).

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "game_state.h"

class CGameStateReader {
 public:
  CGameStateReader() = default;
  ~CGameStateReader();  // no message after this
  CGameStateReader(const CGameStateReader&) = delete;
  CGameStateReader& operator=(const CGameStateReader&) = delete;

  // Starts reading what `typed` names, in place of any reading in progress;
  // once it is done, `message` is posted to `window`. Where no thread can be
  // made, nothing is read and nothing posted.
  void Start(HWND window, UINT message, const std::string& typed);
  // Drops the reading in progress, if any: nothing is posted for it.
  void Stop();
  // Whether a reading is in progress.
  bool Reading() const;
  // The newest reading's result, once; nullopt before it is done.
  std::optional<GameFolderState> Take();

 private:
  struct Job;
  static unsigned __stdcall Run(void* job);

  std::shared_ptr<Job> m_job;  // the newest reading, while it counts
};
