#include "LQForms.h"

#include <algorithm>

namespace limpet {

LIMPET_DEFINE_CLASS(TTimer, TObject)
LIMPET_DEFINE_CLASS(TForm, TObject)

// ------------------------------------------------------------------ TTimer

TTimer::TTimer(TForm& owner) : FOwner(owner) { FOwner.FTimers.push_back(this); }

TTimer::~TTimer() {
  auto& timers = FOwner.FTimers;
  timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

void TTimer::SetEnabled(bool value) noexcept {
  if (value != FEnabled) {
    FEnabled = value;
    ++FGeneration;
  }
}

void TTimer::SetInterval(uint32_t value) noexcept {
  if (value != FInterval) {
    FInterval = value;
    ++FGeneration;
  }
}

void TTimer::Timer() {
  if (FOnTimer) FOnTimer(this);
}

// ------------------------------------------------------------------- TForm

TForm::~TForm() = default;

void TForm::SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) noexcept {
  FLeft = left;
  FTop = top;
  FWidth = width;
  FHeight = height;
}

void TForm::SetClientSize(int32_t width, int32_t height) noexcept {
  FClientWidth = width;
  FClientHeight = height;
}

void TForm::DoCreate() {
  if (FOnCreate) FOnCreate(this);
}

void TForm::DoDestroy() {
  if (FDestroyed) return;
  FDestroyed = true;
  if (FOnDestroy) FOnDestroy(this);
}

void TForm::Paint(TCanvas& canvas) {
  FInvalidated = false;
  struct TCanvasScope {
    TCanvas*& slot;
    ~TCanvasScope() { slot = nullptr; }
  } scope{FCanvas};
  FCanvas = &canvas;
  if (FOnPaint) FOnPaint(this);
}

void TForm::KeyDown(uint16_t& key, TShiftState shift) {
  if (FOnKeyDown) FOnKeyDown(this, key, shift);
}

void TForm::MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
  if (FOnMouseDown) FOnMouseDown(this, button, shift, x, y);
}

void TForm::MouseMove(TShiftState shift, int32_t x, int32_t y) {
  if (FOnMouseMove) FOnMouseMove(this, shift, x, y);
}

TCanvas& TForm::Canvas() const {
  if (FCanvas == nullptr) throw EInvalidOperation(SNoCanvasHandle);
  return *FCanvas;
}

}  // namespace limpet
