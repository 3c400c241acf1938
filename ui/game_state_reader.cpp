#include "game_state_reader.h"

#include <process.h>

#include <atomic>
#include <cstdint>
#include <new>

struct CGameStateReader::Job {
  std::string typed;
  std::atomic<bool> stop = false;
  SRWLOCK lock = SRWLOCK_INIT;  // guards the rest
  HWND window = nullptr;        // nullptr once nobody waits
  UINT message = 0;
  bool done = false;
  std::optional<GameFolderState> result;
};

CGameStateReader::~CGameStateReader() { Stop(); }

// The thread calls into the C runtime, so it is made by _beginthreadex.
void CGameStateReader::Start(HWND window, UINT message, const std::string& typed) {
  Stop();
  try {
    auto job = std::make_shared<Job>();
    job->typed = typed;
    job->window = window;
    job->message = message;
    auto parameter = std::make_unique<std::shared_ptr<Job>>(job);
    const std::uintptr_t thread =
        _beginthreadex(nullptr, 0, &CGameStateReader::Run, parameter.get(), 0, nullptr);
    if (thread == 0) return;
    parameter.release();  // the thread's now
    CloseHandle(reinterpret_cast<HANDLE>(thread));
    m_job = std::move(job);
  } catch (const std::bad_alloc&) {
    // Nothing is read.
  }
}

void CGameStateReader::Stop() {
  if (m_job == nullptr) return;
  m_job->stop = true;
  AcquireSRWLockExclusive(&m_job->lock);
  m_job->window = nullptr;
  ReleaseSRWLockExclusive(&m_job->lock);
  m_job = nullptr;
}

bool CGameStateReader::Reading() const {
  if (m_job == nullptr) return false;
  AcquireSRWLockExclusive(&m_job->lock);
  const bool reading = !m_job->done;
  ReleaseSRWLockExclusive(&m_job->lock);
  return reading;
}

std::optional<GameFolderState> CGameStateReader::Take() {
  std::optional<GameFolderState> result;
  if (m_job == nullptr) return result;
  AcquireSRWLockExclusive(&m_job->lock);
  result.swap(m_job->result);
  ReleaseSRWLockExclusive(&m_job->lock);
  return result;
}

unsigned __stdcall CGameStateReader::Run(void* parameter) {
  const std::unique_ptr<std::shared_ptr<Job>> shared(static_cast<std::shared_ptr<Job>*>(parameter));
  Job& job = **shared;
  std::optional<GameFolderState> state;
  try {
    state = ReadGameFolderState(job.typed, job.stop);
  } catch (...) {
    // Out of memory: nothing to show.
  }
  AcquireSRWLockExclusive(&job.lock);
  job.done = true;
  if (state && state->complete && job.window != nullptr) {
    job.result = std::move(state);
    PostMessageW(job.window, job.message, 0, 0);
  }
  ReleaseSRWLockExclusive(&job.lock);
  return 0;
}
