#include "LQOS.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace limpet::os {

int OpenFile(const std::string& path, TFileAccess access, bool create, TFileLock lock) {
  if (path.empty() || path.find('\0') != std::string::npos) return -1;
  int flags = O_CLOEXEC;
  switch (access) {
    case faRead: flags |= O_RDONLY; break;
    case faWrite: flags |= O_WRONLY; break;
    case faReadWrite: flags |= O_RDWR; break;
  }
  if (create) flags |= O_CREAT;
  int fd;
  do {
    fd = ::open(path.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  if (lock != flNone) {
    int op = (lock == flShared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    int rc;
    do {
      rc = ::flock(fd, op);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
      ::close(fd);
      return -1;
    }
  }
  if (create && S_ISREG(st.st_mode) && st.st_size != 0 && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void CloseFile(int handle) { ::close(handle); }

namespace {

// Repeats a read or write call until `count` bytes moved, the data ended
// (a call moved 0) or an error came; returns the bytes moved, or -1 when an
// error came before any byte moved.
template <class TByte, class TCall>
int64_t TransferAll(TByte* p, size_t count, TCall call) {
  size_t done = 0;
  while (done < count) {
    ssize_t n = call(p + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done == 0 ? -1 : static_cast<int64_t>(done);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

}  // namespace

int64_t ReadFile(int handle, void* buffer, size_t count) {
  return TransferAll(static_cast<uint8_t*>(buffer), count,
                     [handle](uint8_t* p, size_t n) { return ::read(handle, p, n); });
}

int64_t WriteFile(int handle, const void* buffer, size_t count) {
  return TransferAll(static_cast<const uint8_t*>(buffer), count,
                     [handle](const uint8_t* p, size_t n) { return ::write(handle, p, n); });
}

int64_t SeekFile(int handle, int64_t offset, int origin) {
  int whence;
  switch (origin) {
    case 0: whence = SEEK_SET; break;
    case 1: whence = SEEK_CUR; break;
    case 2: whence = SEEK_END; break;
    default: return -1;
  }
  off_t r = ::lseek(handle, static_cast<off_t>(offset), whence);
  return r < 0 ? -1 : static_cast<int64_t>(r);
}

bool TruncateFile(int handle, int64_t size) {
  int rc;
  do {
    rc = ::ftruncate(handle, static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

std::string ExecutablePath() {
  std::vector<char> buf(PATH_MAX);
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buf.size()) return std::string(buf.data(), static_cast<size_t>(n));
    buf.resize(buf.size() * 2);
  }
}

std::string AbsolutePath(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> buf(PATH_MAX);
  while (::getcwd(buf.data(), buf.size()) == nullptr) {
    if (errno != ERANGE) return path;
    buf.resize(buf.size() * 2);
  }
  std::string cwd(buf.data());
  if (path.empty()) return cwd;
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return cwd + path;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (!a.empty() && !b.empty() && ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0) {
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }
  return AbsolutePath(a) == AbsolutePath(b);
}

uint32_t UtcMillisecondsOfDay() {
  struct timespec ts;
  ::clock_gettime(CLOCK_REALTIME, &ts);
  uint64_t secondsOfDay = static_cast<uint64_t>(ts.tv_sec) % 86400u;
  return static_cast<uint32_t>(secondsOfDay * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u);
}

uint64_t PerformanceCounter() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<uint64_t>(ts.tv_sec) * 1000000000u + static_cast<uint64_t>(ts.tv_nsec);
}

int32_t ProcessorFamily() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0) {
    int32_t family = static_cast<int32_t>((eax >> 8) & 0x0F);
    if (family > 3) return family;
  }
#endif
  // Processors that do not tell their family in this way are all later than
  // the 386 generation.
  return 6;
}

void WipeMemory(void* p, size_t size, uint8_t value) noexcept {
  if (p == nullptr || size == 0) return;
  std::memset(p, value, size);
  // The barrier makes the stores observable, so they cannot be dropped as
  // dead even when the memory is freed right afterwards.
  __asm__ __volatile__("" : : "r"(p) : "memory");
}

}  // namespace limpet::os
