#define _GNU_SOURCE
#include "fault_shim.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdio_ext.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int armed;
static long target;
static long calls;
static enum FaultMode faultMode;
static const char* injectedCall;
static const char* countedCall;  // only calls of this name count; 0: all

// Streams that got an injected read or write error: ferror reports them.
enum { kMaxFailedStreams = 64 };
static FILE* failedStreams[kMaxFailedStreams];

static void MarkFailed(FILE* stream) {
  for (int i = 0; i < kMaxFailedStreams; ++i) {
    if (failedStreams[i] == NULL) {
      failedStreams[i] = stream;
      return;
    }
  }
}

static int IsMarkedFailed(FILE* stream) {
  for (int i = 0; i < kMaxFailedStreams; ++i) {
    if (failedStreams[i] == stream) return 1;
  }
  return 0;
}

static void Forget(FILE* stream) {
  for (int i = 0; i < kMaxFailedStreams; ++i) {
    if (failedStreams[i] == stream) failedStreams[i] = NULL;
  }
}

void FaultArm(long n, enum FaultMode mode) { FaultArmCall(0, n, mode); }

void FaultArmCall(const char* call, long n, enum FaultMode mode) {
  countedCall = call;
  armed = 1;
  target = n;
  calls = 0;
  faultMode = mode;
  injectedCall = 0;
}

long FaultDisarm(void) {
  armed = 0;
  return calls;
}

const char* FaultInjectedCall(void) { return injectedCall; }

// True when this call is to fail; never returns when it is to kill.
static int Hit(const char* name, int error) {
  if (!armed || (countedCall && strcmp(name, countedCall) != 0)) return 0;
  if (++calls != target) return 0;
  if (faultMode == kFaultKill) kill(getpid(), SIGKILL);
  if (faultMode == kFaultPause) {
    kill(getpid(), SIGSTOP);
    return 0;
  }
  injectedCall = name;
  errno = error;
  return 1;
}

#define REAL(name)                                     \
  static __typeof__(name)* real_##name;                \
  if (real_##name == NULL) real_##name = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

FILE* fopen(const char* path, const char* mode) {
  REAL(fopen);
  if (Hit("fopen", EIO)) return NULL;
  return real_fopen(path, mode);
}

FILE* fdopen(int fd, const char* mode) {
  REAL(fdopen);
  if (Hit("fdopen", EIO)) return NULL;
  return real_fdopen(fd, mode);
}

size_t fread(void* buffer, size_t size, size_t count, FILE* stream) {
  REAL(fread);
  if (Hit("fread", EIO)) {
    MarkFailed(stream);
    return 0;
  }
  return real_fread(buffer, size, count, stream);
}

size_t fwrite(const void* buffer, size_t size, size_t count, FILE* stream) {
  REAL(fwrite);
  if (Hit("fwrite", ENOSPC)) {  // a disk that fills up half-way
    MarkFailed(stream);
    return real_fwrite(buffer, 1, size * count / 2, stream) / (size ? size : 1);
  }
  return real_fwrite(buffer, size, count, stream);
}

int fflush(FILE* stream) {
  REAL(fflush);
  if (Hit("fflush", EIO)) {  // the buffered bytes are lost
    __fpurge(stream);
    MarkFailed(stream);
    return EOF;
  }
  return real_fflush(stream);
}

int fclose(FILE* stream) {
  REAL(fclose);
  Forget(stream);
  const int failed = Hit("fclose", EIO);
  if (failed) __fpurge(stream);  // the buffered bytes are lost
  const int result = real_fclose(stream);
  if (failed) errno = EIO;
  return failed ? EOF : result;
}

int ferror(FILE* stream) {
  REAL(ferror);
  return IsMarkedFailed(stream) || real_ferror(stream);
}

int fsync(int fd) {
  REAL(fsync);
  if (Hit("fsync", EIO)) return -1;
  return real_fsync(fd);
}

int rename(const char* from, const char* to) {
  REAL(rename);
  if (Hit("rename", EIO)) return -1;
  return real_rename(from, to);
}

int link(const char* from, const char* to) {
  REAL(link);
  if (Hit("link", EIO)) return -1;
  return real_link(from, to);
}

int mkstemp(char* name) {
  REAL(mkstemp);
  if (Hit("mkstemp", EIO)) return -1;
  return real_mkstemp(name);
}

int open(const char* path, int flags, ...) {
  REAL(open);
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
  }
  if (Hit("open", EIO)) return -1;
  return real_open(path, flags, mode);
}

int fstat(int fd, struct stat* info) {
  REAL(fstat);
  if (Hit("fstat", EIO)) return -1;
  return real_fstat(fd, info);
}

int lstat(const char* path, struct stat* info) {
  REAL(lstat);
  if (Hit("lstat", EIO)) return -1;
  return real_lstat(path, info);
}
