#pragma once

// Counts the C library file calls a program makes while armed and makes the
// n-th of them fail or kill the process, in the manner of SQLite's I/O error
// tests. Linked as a shared library ahead of the C library, it stands in for
// fopen, fread, fwrite, fflush, fclose, ferror, fsync, rename, link,
// mkstemp, fdopen, open, fstat and lstat. Linux only.

#ifdef __cplusplus
extern "C" {
#endif

enum FaultMode {
  kFaultFail = 0,  // the call fails with EIO (ENOSPC for writes); a failed
                   // write writes half, a failed flush or close loses the
                   // buffered bytes, as real failures do
  kFaultKill = 1,  // the process dies by SIGKILL before the call
  kFaultPause = 2, // the process stops (SIGSTOP) before the call, so that its
                   // parent can act at that moment and then let it go on
};

// Starts counting calls; the n-th (1-based) one gets the fault. n = 0 only
// counts.
void FaultArm(long n, enum FaultMode mode);
// The same, counting only the calls named `call` ("mkstemp", say).
void FaultArmCall(const char* call, long n, enum FaultMode mode);
// Stops counting and returns how many calls were counted since FaultArm.
long FaultDisarm(void);
// The name of the call that got the fault since FaultArm, or 0 if none did.
const char* FaultInjectedCall(void);

#ifdef __cplusplus
}
#endif
