// Lantern's main form: shows the first JPEG image bound to the program's own
// executable, unscaled, at the top-left corner of the client area.
#pragma once

#include <memory>
#include <string>

#include "LQForms.h"
#include "LQJpeg.h"

namespace limpet::lantern {

// The password under which the images are expected to be bound.
inline constexpr const char* ImagePassword = "KelpForest";
inline constexpr const char* MainCaption = "JPEG Viewer - self-extract and view JPEG files";

// Lantern comes in two builds that differ only in the initial window.
enum class TInitialWindow : uint8_t {
  Maximised,  // maximised; restored: 437 by 313 at 207, 144
  Normal,     // a normal window of 544 by 375 at 196, 113
};

class TMainForm : public TForm {
  LIMPET_CLASS(TMainForm)
 public:
  explicit TMainForm(TInitialWindow initialWindow = TInitialWindow::Normal);
  ~TMainForm() override;

  // The file the form reads its images from. Empty (the default) means the
  // running program's own executable; tests name another file.
  const std::string& ExeName() const noexcept { return FExeName; }
  void SetExeName(const std::string& value) { FExeName = value; }
  // The picture shown; null before FormCreate and after FormDestroy.
  const TJPEGImage* Image() const noexcept { return FImage.get(); }

  void FormCreate(TObject* sender);
  void FormDestroy(TObject* sender);
  void FormPaint(TObject* sender);

 private:
  std::string FExeName;
  std::unique_ptr<TJPEGImage> FImage;
};

}  // namespace limpet::lantern
