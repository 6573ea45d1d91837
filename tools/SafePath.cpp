#include "SafePath.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "Text.h"
#include "Tool.h"

namespace limpet::cli {

namespace {

// openat2 is refused by older kernels and some sandboxes; then every path
// is walked part by part without following symbolic links.
bool GHaveOpenat2 = true;

void CloseQuietly(int fd) {
  if (fd >= 0) ::close(fd);
}

class TFd {
 public:
  explicit TFd(int fd = -1) noexcept : FFd(fd) {}
  ~TFd() { CloseQuietly(FFd); }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int Get() const noexcept { return FFd; }
  int Release() noexcept {
    int fd = FFd;
    FFd = -1;
    return fd;
  }
  void Reset(int fd) noexcept {
    CloseQuietly(FFd);
    FFd = fd;
  }

 private:
  int FFd;
};

}  // namespace

std::string TSafeName::Path() const {
  std::string path;
  for (const std::string& part : Parts) {
    if (!path.empty()) path += '/';
    path += part;
  }
  return path;
}

TSafeName CheckStoredName(const std::string& name) {
  TSafeName result;
  if (name.empty()) {
    result.Refusal = "the name is empty";
  } else if (name.find('\0') != std::string::npos) {
    result.Refusal = "the name contains a zero byte";
  } else if (name.front() == '/') {
    result.Refusal = "the name is an absolute path";
  } else {
    size_t start = 0;
    while (start <= name.size()) {
      size_t end = name.find('/', start);
      if (end == std::string::npos) end = name.size();
      std::string part = name.substr(start, end - start);
      if (part == "..") {
        result.Refusal = "the name contains a \"..\" part";
        break;
      }
      if (!part.empty() && part != ".") result.Parts.push_back(std::move(part));
      start = end + 1;
    }
    if (result.Refusal.empty() && result.Parts.empty()) result.Refusal = "the name names no file";
  }
  if (!result.Refusal.empty()) result.Parts.clear();
  return result;
}

TExtractRoot::TExtractRoot(const std::string& folder) : FFolder(folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  FRoot = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (FRoot < 0) throw EToolError("cannot open the folder " + Printable(folder) + ": " + std::strerror(errno));
}

TExtractRoot::~TExtractRoot() { CloseQuietly(FRoot); }

int TExtractRoot::OpenBeneath(const std::string& path, int flags, unsigned mode) {
  if (GHaveOpenat2) {
    struct open_how how;
    std::memset(&how, 0, sizeof how);
    how.flags = static_cast<uint64_t>(flags | O_CLOEXEC);
    how.mode = (flags & O_CREAT) != 0 ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (;;) {
      long fd = ::syscall(SYS_openat2, FRoot, path.c_str(), &how, sizeof how);
      if (fd >= 0) return static_cast<int>(fd);
      if (errno == EINTR || errno == EAGAIN) continue;
      if (errno != ENOSYS && errno != EPERM) return -1;
      // EPERM: a sandbox that filters the call; ENOSYS: a kernel without it.
      break;
    }
    GHaveOpenat2 = false;
  }
  std::vector<std::string> parts;
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return OpenByParts(parts, flags, mode);
}

int TExtractRoot::OpenByParts(const std::vector<std::string>& parts, int flags, unsigned mode) {
  TFd current(::dup(FRoot));
  if (current.Get() < 0) return -1;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    int next = ::openat(current.Get(), parts[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next < 0) return -1;
    current.Reset(next);
  }
  return ::openat(current.Get(), parts.back().c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

void TExtractRoot::Fail(const TSafeName& name, int error) {
  std::string why;
  switch (error) {
    case EXDEV:
      why = "it would be written outside " + Printable(FFolder) + " through a symbolic link";
      break;
    case ELOOP:
      why = GHaveOpenat2 ? "too many symbolic links on its path"
                         : "its path passes through a symbolic link, which is not followed";
      break;
    case ENOTDIR:
      why = "a part of its path is a file, not a folder";
      break;
    default:
      why = std::strerror(error);
  }
  throw EToolError("cannot write " + Quoted(name.Path()) + ": " + why);
}

void TExtractRoot::WriteFile(const TSafeName& name, const void* data, size_t size) {
  // Each missing folder is created inside the deepest one that could be
  // opened beneath the root.
  std::string prefix;
  for (size_t i = 0; i + 1 < name.Parts.size(); ++i) {
    const std::string parent = prefix.empty() ? "." : prefix;
    prefix += (prefix.empty() ? "" : "/") + name.Parts[i];
    TFd folder(OpenBeneath(prefix, O_RDONLY | O_DIRECTORY, 0));
    if (folder.Get() >= 0) continue;
    if (errno != ENOENT) Fail(name, errno);
    TFd parentFd(OpenBeneath(parent, O_RDONLY | O_DIRECTORY, 0));
    if (parentFd.Get() < 0) Fail(name, errno);
    if (::mkdirat(parentFd.Get(), name.Parts[i].c_str(), 0777) != 0 && errno != EEXIST) Fail(name, errno);
    folder.Reset(OpenBeneath(prefix, O_RDONLY | O_DIRECTORY, 0));
    if (folder.Get() < 0) Fail(name, errno);
  }
  // Non-blocking, so that a FIFO in the way cannot stall the program.
  TFd file(OpenBeneath(name.Path(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK, 0666));
  if (file.Get() < 0) Fail(name, errno);
  struct stat st;
  if (::fstat(file.Get(), &st) != 0) Fail(name, errno);
  if (!S_ISREG(st.st_mode)) throw EToolError("cannot write " + Quoted(name.Path()) + ": it exists and is not a regular file");
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::write(file.Get(), p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail(name, n < 0 ? errno : ENOSPC);
    done += static_cast<size_t>(n);
  }
  if (::close(file.Release()) != 0) Fail(name, errno);
}

}  // namespace limpet::cli
