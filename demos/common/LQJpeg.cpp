#include "LQJpeg.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "LQStreams.h"

namespace limpet {

LIMPET_DEFINE_CLASS(TJPEGImage, TObject)

namespace {

// libjpeg reports a fatal error through error_exit, which must not return:
// it jumps back to the decoder with the message kept here. Warnings (such as
// data that ends early) are not errors: the picture decodes as far as it
// goes, so output_message stays silent.
struct TDecoder {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr info) {
  auto* decoder = reinterpret_cast<TDecoder*>(reinterpret_cast<j_decompress_ptr>(info));
  (*info->err->format_message)(info, decoder->message);
  std::longjmp(decoder->jump, 1);
}

void OutputMessage(j_common_ptr) {}

struct TDecoded {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

// Decodes into `out`; false with decoder.message set when libjpeg fails.
// Everything that lives across the jump is owned by the caller, so the jump
// skips no destructor.
bool Decode(TDecoder& decoder, const uint8_t* data, size_t size, TDecoded& out) {
  j_decompress_ptr info = &decoder.info;
  info->err = jpeg_std_error(&decoder.errors);
  decoder.errors.error_exit = ErrorExit;
  decoder.errors.output_message = OutputMessage;
  if (setjmp(decoder.jump) != 0) {
    jpeg_destroy_decompress(info);
    return false;
  }
  jpeg_create_decompress(info);
  jpeg_mem_src(info, data, static_cast<unsigned long>(size));
  jpeg_read_header(info, TRUE);
  info->out_color_space = JCS_RGB;
  jpeg_start_decompress(info);
  try {
    out.width = static_cast<int32_t>(info->output_width);
    out.height = static_cast<int32_t>(info->output_height);
    out.pixels.resize(static_cast<size_t>(info->output_width) * info->output_height * 3);
  } catch (...) {
    jpeg_destroy_decompress(info);
    throw;
  }
  const size_t stride = static_cast<size_t>(info->output_width) * 3;
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = out.pixels.data() + info->output_scanline * stride;
    jpeg_read_scanlines(info, &row, 1);
  }
  jpeg_finish_decompress(info);
  jpeg_destroy_decompress(info);
  return true;
}

}  // namespace

void TJPEGImage::LoadFromStream(TStream& stream) {
  const int64_t count = stream.Size() - stream.Position();
  std::vector<uint8_t> data(static_cast<size_t>(count > 0 ? count : 0));
  stream.ReadBuffer(data.data(), static_cast<int64_t>(data.size()));
  TDecoder decoder;
  TDecoded decoded;
  if (!Decode(decoder, data.data(), data.size(), decoded)) throw EJPEG(decoder.message);
  FWidth = decoded.width;
  FHeight = decoded.height;
  FPixels.swap(decoded.pixels);
}

void TJPEGImage::LoadFromFile(const std::string& fileName) {
  TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(file);
}

void TJPEGImage::Clear() noexcept {
  FWidth = 0;
  FHeight = 0;
  FPixels.clear();
  FPixels.shrink_to_fit();
}

}  // namespace limpet
