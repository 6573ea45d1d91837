// Writing stored names, which come from files that may be hostile, beneath
// one folder and nowhere else.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace limpet::cli {

// A stored name as a relative path: its parts, or why it cannot be one.
struct TSafeName {
  std::vector<std::string> Parts;  // without empty and "." parts
  std::string Refusal;             // empty when the name is usable
  // The parts joined with "/".
  std::string Path() const;
};

// Refuses an empty name, a name with a zero byte, an absolute name, a name
// with a ".." part and a name that names no file ("." or "/").
TSafeName CheckStoredName(const std::string& name);

// The folder files are restored into. Every file is opened relative to it
// with a resolution that may follow symbolic links only while they stay
// beneath it (where the system cannot do that, symbolic links are not
// followed at all), so nothing is created or written outside it.
class TExtractRoot {
 public:
  // Creates the folder (and its parents) when it does not exist.
  explicit TExtractRoot(const std::string& folder);
  ~TExtractRoot();
  TExtractRoot(const TExtractRoot&) = delete;
  TExtractRoot& operator=(const TExtractRoot&) = delete;

  // Creates the missing folders of `name` and writes the file, replacing an
  // existing one. Raises EToolError saying why when that would leave the
  // folder or cannot be done.
  void WriteFile(const TSafeName& name, const void* data, size_t size);

 private:
  int OpenBeneath(const std::string& path, int flags, unsigned mode);
  int OpenByParts(const std::vector<std::string>& parts, int flags, unsigned mode);
  [[noreturn]] void Fail(const TSafeName& name, int error);

  std::string FFolder;
  int FRoot = -1;
};

}  // namespace limpet::cli
