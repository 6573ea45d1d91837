#include "MainFrm.h"

#include <cstdlib>
#include <utility>

#include "LQStreams.h"

namespace limpet::nightfall {

LIMPET_DEFINE_CLASS(TMainForm, TForm)

bool IsRunMode(const std::vector<std::string>& params) {
  if (params.empty()) return true;
  if (params.size() != 1) return false;
  std::string arg = params[0];
  for (char& c : arg) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return arg == "/s" || arg == "s" || arg == "-s";
}

TMainForm::TMainForm(std::vector<std::string> params) : FParams(std::move(params)), FTimer(*this) {
  SetName("MainForm");
  SetCaption("MainForm");
  SetColor(clBlack);
  SetBorderStyle(bsNone);
  SetWindowState(wsMaximized);
  FTimer.SetEnabled(false);
  FTimer.SetInterval(1000);
  FTimer.SetOnTimer(TNotifyEvent::Bind(this, &TMainForm::TimerTimer));
  SetOnCreate(TNotifyEvent::Bind(this, &TMainForm::FormCreate));
  SetOnDestroy(TNotifyEvent::Bind(this, &TMainForm::FormDestroy));
  SetOnKeyDown(TKeyEvent::Bind(this, &TMainForm::FormKeyDown));
  SetOnMouseDown(TMouseEvent::Bind(this, &TMainForm::FormMouseDown));
  SetOnMouseMove(TMouseMoveEvent::Bind(this, &TMainForm::FormMouseMove));
  SetOnPaint(TNotifyEvent::Bind(this, &TMainForm::FormPaint));
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate(TObject*) {
  const bool runMode = IsRunMode(FParams);
  FExtractor.reset();
  FImage.reset();
  if (!runMode) return;
  FExtractor = std::make_unique<TExtractFromEXE>();
  FExtractor->SetFileName(FExeName);
  FExtractor->ExtractToFileList();
  FIndex = 0;
  FImage = std::make_unique<TJPEGImage>();
  FTimer.SetEnabled(FExtractor->FileList().Count() > 0);
}

void TMainForm::TimerTimer(TObject*) {
  if (FExtractor == nullptr || FExtractor->FileList().Count() == 0 || FImage == nullptr) return;
  TFileList& list = FExtractor->FileList();
  if (FIndex < 0 || FIndex >= list.Count()) FIndex = 0;
  const std::string name = list.Items(FIndex)->Name();
  TMemoryStream stream;
  FExtractor->ExtractToStream(name, stream, ImagePassword);
  FImage->LoadFromStream(stream);
  ++FIndex;
  Invalidate();
}

void TMainForm::FormPaint(TObject*) {
  if (FImage == nullptr || FImage->Empty()) return;
  // Integer division truncates toward zero: a picture larger than the
  // window gets negative coordinates and is cut off evenly on both sides.
  const int32_t x = (Width() - FImage->Width()) / 2;
  const int32_t y = (Height() - FImage->Height()) / 2;
  Canvas().Draw(x, y, *FImage);
}

void TMainForm::FormKeyDown(TObject*, uint16_t&, TShiftState) { Close(); }

void TMainForm::FormMouseDown(TObject*, TMouseButton, TShiftState, int32_t, int32_t) { Close(); }

void TMainForm::FormMouseMove(TObject*, TShiftState, int32_t x, int32_t y) {
  if (FMouseX != 0 && FMouseY != 0 &&
      (std::llabs(int64_t{FMouseX} - x) > 5 || std::llabs(int64_t{FMouseY} - y) > 5)) {
    Close();
  }
  FMouseX = x;
  FMouseY = y;
}

void TMainForm::FormDestroy(TObject*) {
  FImage.reset();
  FExtractor.reset();
}

}  // namespace limpet::nightfall
