// The manifest of `limpet bind --manifest`:
//   {"entries":[{"file": PATH, "name": STR, "id": INT, "level": 0-9, "password": STR}]}
// Only "file" is required.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace limpet::cli {

struct TBindItem {
  std::string Source;  // path to read the file from
  std::string Name;    // stored name
  int32_t ID = -1;
  uint8_t Level = 0;
  // Unset: the password from the command line, if any. Set and empty: no
  // encryption whatever the command line says.
  std::optional<std::string> Password;
};

// Reads and checks a manifest. A relative "file" is taken from the
// manifest's folder; the stored name defaults to "file" as written. Unknown
// keys are refused, so that a misspelt "password" cannot leave a file
// unencrypted. Every problem is an EUsageError naming the entry.
std::vector<TBindItem> ReadManifest(const std::string& path);

}  // namespace limpet::cli
