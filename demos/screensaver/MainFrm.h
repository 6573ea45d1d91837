// Nightfall's main form: a black borderless window over the whole screen
// that shows the images bound to the program's own executable in turn, one
// each second, centred, and closes on any key, click or mouse movement.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LQForms.h"
#include "LQJpeg.h"
#include "Limpet.h"

namespace limpet::nightfall {

// The password under which the images are expected to be bound.
inline constexpr const char* ImagePassword = "KelpForest";

// True when the arguments (without the program name) ask for the show: none
// at all, or exactly one that reads "/s", "s" or "-s" in any letter case.
bool IsRunMode(const std::vector<std::string>& params);

class TMainForm : public TForm {
  LIMPET_CLASS(TMainForm)
 public:
  // `params`: the command-line arguments without the program name.
  explicit TMainForm(std::vector<std::string> params = {});
  ~TMainForm() override;

  // The file the form reads its images from. Empty (the default) means the
  // running program's own executable; tests name another file.
  const std::string& ExeName() const noexcept { return FExeName; }
  void SetExeName(const std::string& value) { FExeName = value; }

  TTimer& Timer() noexcept { return FTimer; }
  // Null outside run mode.
  TExtractFromEXE* Extractor() const noexcept { return FExtractor.get(); }
  // Index in the extractor's FileList of the next entry to show.
  int32_t Index() const noexcept { return FIndex; }
  // The picture shown; null outside run mode.
  const TJPEGImage* Image() const noexcept { return FImage.get(); }

  void FormCreate(TObject* sender);
  void FormDestroy(TObject* sender);
  void FormKeyDown(TObject* sender, uint16_t& key, TShiftState shift);
  void FormMouseDown(TObject* sender, TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  void FormMouseMove(TObject* sender, TShiftState shift, int32_t x, int32_t y);
  void FormPaint(TObject* sender);
  void TimerTimer(TObject* sender);

 private:
  std::vector<std::string> FParams;
  std::string FExeName;
  TTimer FTimer;
  std::unique_ptr<TExtractFromEXE> FExtractor;
  int32_t FIndex = 0;
  std::unique_ptr<TJPEGImage> FImage;
  // The last recorded pointer position. The program has one form for its
  // whole run, so this lives as long as the program; 0, 0 at start.
  int32_t FMouseX = 0;
  int32_t FMouseY = 0;
};

}  // namespace limpet::nightfall
