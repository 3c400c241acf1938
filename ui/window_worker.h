#pragma once

// Work done off a window's thread, whose results are handed back to run on
// the window's thread. One worker serves one kind of work (the status's
// reading, the search for the game):
// - a newer Start tells the older work to stop and takes its place;
// - a result reaches the window only while the work that posted it is the
//   newest, and each result checks on arrival that what it is for still
//   holds;
// - at most kMostThreads of the worker's threads are alive at once, however
//   long stopped work takes to end (a network folder that stops answering):
//   a start meanwhile waits for one of them, and only the newest one waits;
// - the window's thread never waits on it, but in WaitStopped.
// Its threads touch no window but to post the worker's message, use no COM,
// and fail at once where a drive has no medium rather than ask for it. They
// may outlive the worker, which then hears no more of them.

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>

class CWindowWorker {
 public:
  static constexpr int kMostThreads = 3;

  // A result, called on the window's thread by Deliver.
  using Result = std::function<void()>;
  // How work hands over a result; called on the work's thread.
  using Post = std::function<void(Result)>;
  // Work looks at `stop` between steps and ends soon once it is set.
  using Work = std::function<void(const std::atomic<bool>& stop, const Post& post)>;

  CWindowWorker();
  ~CWindowWorker();  // stops the work; no result comes after
  CWindowWorker(const CWindowWorker&) = delete;
  CWindowWorker& operator=(const CWindowWorker&) = delete;

  // Starts `work` in place of the work started before. While results wait,
  // `message` is posted to `window` (once), which then calls Deliver. False,
  // with nothing started, where no thread can be made.
  bool Start(HWND window, UINT message, Work work);
  // Tells the work to stop; none of its results reaches the window.
  void Stop();
  // Whether the newest work has yet to end.
  bool Busy() const;
  // Waits at most `ms` for all work, stopped or not, to end; whether it has.
  bool WaitStopped(DWORD ms);
  // Calls the results of the newest work that wait, in the order posted.
  void Deliver();

 private:
  struct Job;
  struct Shared;
  static unsigned __stdcall Run(void* start);

  std::shared_ptr<Shared> m_shared;
  unsigned m_nStarted = 0;  // works started, which numbers them
  unsigned m_nNewest = 0;   // the newest work's number; 0 when none counts
};
