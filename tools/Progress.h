// Progress bars on standard error, for work large enough to wait for.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "CipUtils.h"

namespace limpet::cli {

// Work of more bytes than this shows a bar.
inline constexpr int64_t kProgressThreshold = 8 * 1024 * 1024;

// A bar drawn on standard error, only when it is a terminal and the work
// is above the threshold; otherwise it draws nothing. The line is ended when
// the bar goes away, as far as it got.
class TProgressBar {
 public:
  TProgressBar(std::string label, int64_t total);
  ~TProgressBar();
  TProgressBar(const TProgressBar&) = delete;
  TProgressBar& operator=(const TProgressBar&) = delete;

  bool Active() const noexcept { return FActive; }
  // Shows `done` of the total (values outside 0..total are clamped).
  void Show(int64_t done);
  // Wipes the bar off its line so that a message can be printed there; the
  // next Show draws it again.
  void Clear();

 private:
  void Draw(int64_t done);

  std::string FLabel;
  int64_t FTotal;
  bool FActive;
  int FLastPermille = -1;
};

// While it lives, the library's process-wide progress notification goes to
// `handler` with (current, maximal); the previous one is put back after.
class TLibraryProgress {
 public:
  explicit TLibraryProgress(std::function<void(int64_t current, int64_t maximal)> handler);
  ~TLibraryProgress();
  TLibraryProgress(const TLibraryProgress&) = delete;
  TLibraryProgress& operator=(const TLibraryProgress&) = delete;

 private:
  TProgressEvent FSaved;
};

}  // namespace limpet::cli
