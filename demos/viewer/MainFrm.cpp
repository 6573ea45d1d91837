#include "MainFrm.h"

#include "LQStreams.h"
#include "Limpet.h"

namespace limpet::lantern {

LIMPET_DEFINE_CLASS(TMainForm, TForm)

TMainForm::TMainForm(TInitialWindow initialWindow) {
  SetName("MainForm");
  SetCaption(MainCaption);
  SetColor(clBtnFace);
  SetBorderStyle(bsSizeable);
  if (initialWindow == TInitialWindow::Maximised) {
    SetWindowState(wsMaximized);
    SetBounds(207, 144, 437, 313);
  } else {
    SetWindowState(wsNormal);
    SetBounds(196, 113, 544, 375);
  }
  SetOnCreate(TNotifyEvent::Bind(this, &TMainForm::FormCreate));
  SetOnDestroy(TNotifyEvent::Bind(this, &TMainForm::FormDestroy));
  SetOnPaint(TNotifyEvent::Bind(this, &TMainForm::FormPaint));
}

TMainForm::~TMainForm() = default;

void TMainForm::FormCreate(TObject*) {
  FImage = std::make_unique<TJPEGImage>();
  TExtractFromEXE extractor;
  extractor.SetFileName(FExeName);
  extractor.ExtractToFileList();
  if (extractor.FileList().Count() > 0) {
    const std::string name = extractor.FileList().Items(0)->Name();
    TMemoryStream stream;
    extractor.ExtractToStream(name, stream, ImagePassword);
    FImage->LoadFromStream(stream);
  }
}

void TMainForm::FormDestroy(TObject*) { FImage.reset(); }

void TMainForm::FormPaint(TObject*) {
  if (FImage != nullptr && !FImage->Empty()) Canvas().Draw(0, 0, *FImage);
}

}  // namespace limpet::lantern
