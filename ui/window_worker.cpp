#include "window_worker.h"

#include <process.h>

#include <new>
#include <optional>
#include <utility>
#include <vector>

namespace {

// An SRW lock held exclusively while this lives.
class Locked {
 public:
  explicit Locked(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
  ~Locked() { ReleaseSRWLockExclusive(&lock_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  SRWLOCK& lock_;
};

}  // namespace

struct CWindowWorker::Job {
  unsigned number = 0;
  Work work;
  std::shared_ptr<std::atomic<bool>> stop;
};

// What the worker shares with its threads, under `lock`.
struct CWindowWorker::Shared {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE threadEnded = CONDITION_VARIABLE_INIT;
  unsigned newest = 0;  // whose results count; 0: none
  bool newestDone = true;
  std::shared_ptr<std::atomic<bool>> newestStop;
  HWND window = nullptr;  // nullptr once nobody waits
  UINT message = 0;
  std::vector<std::pair<unsigned, Result>> results;  // for Deliver
  std::optional<Job> waiting;  // the newest work, until a thread is free
  int threads = 0;             // alive

  void PostResult(unsigned number, Result& result) {
    Locked locked(lock);
    if (number != newest || window == nullptr) return;
    results.emplace_back(number, std::move(result));
    if (results.size() == 1) PostMessageW(window, message, 0, 0);
  }
};

CWindowWorker::CWindowWorker() : m_shared(std::make_shared<Shared>()) {}

CWindowWorker::~CWindowWorker() {
  Stop();
  Locked locked(m_shared->lock);
  m_shared->window = nullptr;
}

// The thread calls into the C runtime, so it is made by _beginthreadex.
bool CWindowWorker::Start(HWND window, UINT message, Work work) {
  std::optional<Job> replaced;  // let go of outside the lock
  try {
    // Stopped work may still be running; the numbers tell results apart.
    Job job{++m_nStarted, std::move(work), std::make_shared<std::atomic<bool>>(false)};
    auto start = std::make_unique<std::pair<std::shared_ptr<Shared>, Job>>(m_shared, Job());
    {
      Locked locked(m_shared->lock);
      if (m_shared->newestStop != nullptr) *m_shared->newestStop = true;
      replaced = std::move(m_shared->waiting);
      m_shared->waiting.reset();
      m_shared->newest = job.number;
      m_shared->newestDone = false;
      m_shared->newestStop = job.stop;
      m_shared->window = window;
      m_shared->message = message;
      if (m_shared->threads == kMostThreads) {
        m_shared->waiting = std::move(job);
        m_nNewest = m_shared->newest;
        return true;
      }
      ++m_shared->threads;
    }
    m_nNewest = job.number;
    start->second = std::move(job);
    const std::uintptr_t thread =
        _beginthreadex(nullptr, 0, &CWindowWorker::Run, start.get(), 0, nullptr);
    if (thread != 0) {
      start.release();  // the thread's now
      CloseHandle(reinterpret_cast<HANDLE>(thread));
      return true;
    }
    Locked locked(m_shared->lock);
    --m_shared->threads;
    WakeAllConditionVariable(&m_shared->threadEnded);
  } catch (const std::bad_alloc&) {
  }
  Stop();
  return false;
}

void CWindowWorker::Stop() {
  std::optional<Job> replaced;
  std::vector<std::pair<unsigned, Result>> results;
  {
    Locked locked(m_shared->lock);
    if (m_shared->newestStop != nullptr) *m_shared->newestStop = true;
    m_shared->newestStop = nullptr;
    replaced = std::move(m_shared->waiting);
    m_shared->waiting.reset();
    m_shared->newest = 0;
    m_shared->newestDone = true;
    results.swap(m_shared->results);
  }
  m_nNewest = 0;
}

bool CWindowWorker::Busy() const {
  Locked locked(m_shared->lock);
  return !m_shared->newestDone;
}

bool CWindowWorker::WaitStopped(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  Locked locked(m_shared->lock);
  for (ULONGLONG now = GetTickCount64(); m_shared->threads > 0 && now < until;
       now = GetTickCount64()) {
    SleepConditionVariableSRW(&m_shared->threadEnded, &m_shared->lock,
                              static_cast<DWORD>(until - now), 0);
  }
  return m_shared->threads == 0;
}

// A result may start other work, after which the rest no longer count.
void CWindowWorker::Deliver() {
  std::vector<std::pair<unsigned, Result>> results;
  {
    Locked locked(m_shared->lock);
    results.swap(m_shared->results);
  }
  for (auto& [number, result] : results) {
    if (number == m_nNewest) result();
  }
}

// Runs its job, then the one that waits, if any, until none does.
unsigned __stdcall CWindowWorker::Run(void* parameter) {
  const std::unique_ptr<std::pair<std::shared_ptr<Shared>, Job>> start(
      static_cast<std::pair<std::shared_ptr<Shared>, Job>*>(parameter));
  Shared& shared = *start->first;
  Job job = std::move(start->second);
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);
  for (;;) {
    const unsigned number = job.number;
    try {
      job.work(*job.stop, [&shared, number](Result result) { shared.PostResult(number, result); });
    } catch (const std::bad_alloc&) {
      // What was posted stands.
    }
    std::optional<Job> next;
    {
      Locked locked(shared.lock);
      if (number == shared.newest) shared.newestDone = true;
      next = std::move(shared.waiting);
      shared.waiting.reset();
      if (!next) {
        --shared.threads;
        WakeAllConditionVariable(&shared.threadEnded);
      }
    }
    if (!next) return 0;
    job = std::move(*next);
  }
}
