#include "Progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace limpet::cli {

namespace {

constexpr int kBarWidth = 30;

std::string Mebibytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

}  // namespace

TProgressBar::TProgressBar(std::string label, int64_t total)
    : FLabel(std::move(label)), FTotal(total), FActive(total > kProgressThreshold && isatty(STDERR_FILENO)) {
  if (FActive) Draw(0);
}

TProgressBar::~TProgressBar() {
  if (!FActive || FLastPermille < 0) return;
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

void TProgressBar::Clear() {
  if (!FActive || FLastPermille < 0) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
  FLastPermille = -1;
}

void TProgressBar::Show(int64_t done) {
  if (FActive) Draw(std::clamp<int64_t>(done, 0, FTotal));
}

void TProgressBar::Draw(int64_t done) {
  const int permille = static_cast<int>(done * 1000 / std::max<int64_t>(FTotal, 1));
  if (permille == FLastPermille) return;
  FLastPermille = permille;
  const int filled = permille * kBarWidth / 1000;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(kBarWidth - filled), '.');
  std::fprintf(stderr, "\r%s [%s] %3d%% %s/%s MiB", FLabel.c_str(), bar.c_str(), permille / 10,
               Mebibytes(done).c_str(), Mebibytes(FTotal).c_str());
  std::fflush(stderr);
}

TLibraryProgress::TLibraryProgress(std::function<void(int64_t current, int64_t maximal)> handler)
    : FSaved(Progress) {
  Progress = TProgressEvent([handler = std::move(handler)](TObject*, int32_t current, int32_t maximal) {
    handler(current, maximal);
  });
}

TLibraryProgress::~TLibraryProgress() { Progress = FSaved; }

}  // namespace limpet::cli
