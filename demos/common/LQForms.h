// Forms of the demo programs, free of any windowing library: a form holds
// its window settings and its event handlers, and asks its host to close it
// or paint it again; a timer component holds its interval and handler; a
// canvas draws pictures. The host (the SDL shell of the programs, or a test)
// turns window-system events into calls of the dispatch routines below and
// draws what the form paints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "LQEvents.h"
#include "LQObject.h"
#include "LQSysUtils.h"

namespace limpet {

class TJPEGImage;

// Raised by a form operation that is not allowed in the form's state.
LIMPET_DECLARE_ERROR(EInvalidOperation, Exception)
inline constexpr const char* SNoCanvasHandle = "Canvas does not allow drawing";

// A colour as 0xRRGGBB.
using TColor = uint32_t;
inline constexpr TColor clBlack = 0x000000;
// The face colour of buttons and dialogs.
inline constexpr TColor clBtnFace = 0xF0F0F0;

enum TBorderStyle : uint8_t { bsNone, bsSizeable };
enum TWindowState : uint8_t { wsNormal, wsMaximized };
enum TMouseButton : uint8_t { mbLeft, mbRight, mbMiddle, mbExtra1, mbExtra2 };

// Keys and buttons held during an input event.
using TShiftState = uint8_t;
inline constexpr TShiftState ssShift = 0x01;
inline constexpr TShiftState ssAlt = 0x02;
inline constexpr TShiftState ssCtrl = 0x04;
inline constexpr TShiftState ssLeft = 0x08;
inline constexpr TShiftState ssRight = 0x10;
inline constexpr TShiftState ssMiddle = 0x20;

// Sender, key code (the window system's physical key number), shift state.
using TKeyEvent = TEvent<TObject*, uint16_t&, TShiftState>;
// Sender, button, shift state, pointer position in client coordinates.
using TMouseEvent = TEvent<TObject*, TMouseButton, TShiftState, int32_t, int32_t>;
// Sender, shift state, pointer position in client coordinates.
using TMouseMoveEvent = TEvent<TObject*, TShiftState, int32_t, int32_t>;

// A drawing surface in client coordinates: what falls outside is cut off.
class TCanvas {
 public:
  virtual ~TCanvas() = default;
  // Draws the picture at its natural size with its top-left corner at (x, y).
  virtual void Draw(int32_t x, int32_t y, const TJPEGImage& graphic) = 0;
};

class TForm;

// A periodic timer owned by a form. While it is enabled the host fires it
// every Interval milliseconds on the form's thread; enabling it or changing
// the interval starts the count afresh.
class TTimer : public TObject {
  LIMPET_CLASS(TTimer)
 public:
  explicit TTimer(TForm& owner);
  TTimer(const TTimer&) = delete;
  TTimer& operator=(const TTimer&) = delete;
  ~TTimer() override;

  bool Enabled() const noexcept { return FEnabled; }
  void SetEnabled(bool value) noexcept;
  uint32_t Interval() const noexcept { return FInterval; }
  void SetInterval(uint32_t value) noexcept;
  const TNotifyEvent& OnTimer() const noexcept { return FOnTimer; }
  void SetOnTimer(TNotifyEvent value) { FOnTimer = std::move(value); }
  // Changes whenever the count must start afresh.
  uint32_t Generation() const noexcept { return FGeneration; }

  // Fires OnTimer (the host calls this when the interval has passed).
  void Timer();

 private:
  TForm& FOwner;
  bool FEnabled = true;
  uint32_t FInterval = 1000;
  uint32_t FGeneration = 0;
  TNotifyEvent FOnTimer;
};

class TForm : public TObject {
  LIMPET_CLASS(TForm)
 public:
  TForm() = default;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;
  ~TForm() override;

  // Settings the host reads to create the window.
  const std::string& Name() const noexcept { return FName; }
  void SetName(const std::string& value) { FName = value; }
  const std::string& Caption() const noexcept { return FCaption; }
  void SetCaption(const std::string& value) { FCaption = value; }
  TColor Color() const noexcept { return FColor; }
  void SetColor(TColor value) noexcept { FColor = value; }
  TBorderStyle BorderStyle() const noexcept { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle value) noexcept { FBorderStyle = value; }
  TWindowState WindowState() const noexcept { return FWindowState; }
  void SetWindowState(TWindowState value) noexcept { FWindowState = value; }

  // The window's outer bounds on the screen: the normal (restored) bounds
  // until the window exists, then what the host reports.
  int32_t Left() const noexcept { return FLeft; }
  int32_t Top() const noexcept { return FTop; }
  int32_t Width() const noexcept { return FWidth; }
  int32_t Height() const noexcept { return FHeight; }
  void SetBounds(int32_t left, int32_t top, int32_t width, int32_t height) noexcept;
  // The size of the client area, kept up to date by the host.
  int32_t ClientWidth() const noexcept { return FClientWidth; }
  int32_t ClientHeight() const noexcept { return FClientHeight; }
  void SetClientSize(int32_t width, int32_t height) noexcept;

  // Event handlers.
  void SetOnCreate(TNotifyEvent value) { FOnCreate = std::move(value); }
  void SetOnDestroy(TNotifyEvent value) { FOnDestroy = std::move(value); }
  void SetOnPaint(TNotifyEvent value) { FOnPaint = std::move(value); }
  void SetOnKeyDown(TKeyEvent value) { FOnKeyDown = std::move(value); }
  void SetOnMouseDown(TMouseEvent value) { FOnMouseDown = std::move(value); }
  void SetOnMouseMove(TMouseMoveEvent value) { FOnMouseMove = std::move(value); }

  // Dispatch, called by the host. Errors raised by a handler pass to the
  // caller, which shows them.
  void DoCreate();
  void DoDestroy();
  // Fires OnPaint with Canvas() drawing on `canvas`. The host has filled the
  // client area with Color before.
  void Paint(TCanvas& canvas);
  void KeyDown(uint16_t& key, TShiftState shift);
  void MouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
  void MouseMove(TShiftState shift, int32_t x, int32_t y);

  // The canvas of the paint in progress; raises EInvalidOperation outside
  // OnPaint.
  TCanvas& Canvas() const;

  // Asks the host to close the window; the host then destroys the form.
  void Close() noexcept { FCloseRequested = true; }
  bool CloseRequested() const noexcept { return FCloseRequested; }
  // Asks the host to erase the window to Color and paint it again.
  void Invalidate() noexcept { FInvalidated = true; }
  bool Invalidated() const noexcept { return FInvalidated; }

  // The timers the form owns, in creation order.
  const std::vector<TTimer*>& Timers() const noexcept { return FTimers; }

 private:
  friend class TTimer;

  std::string FName;
  std::string FCaption;
  TColor FColor = clBtnFace;
  TBorderStyle FBorderStyle = bsSizeable;
  TWindowState FWindowState = wsNormal;
  int32_t FLeft = 0;
  int32_t FTop = 0;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  int32_t FClientWidth = 0;
  int32_t FClientHeight = 0;
  TNotifyEvent FOnCreate;
  TNotifyEvent FOnDestroy;
  TNotifyEvent FOnPaint;
  TKeyEvent FOnKeyDown;
  TMouseEvent FOnMouseDown;
  TMouseMoveEvent FOnMouseMove;
  TCanvas* FCanvas = nullptr;
  bool FCloseRequested = false;
  bool FInvalidated = false;
  bool FDestroyed = false;
  std::vector<TTimer*> FTimers;
};

}  // namespace limpet
