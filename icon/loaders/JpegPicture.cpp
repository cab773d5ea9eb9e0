#include "icon/loaders/JpegPicture.h"

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <string>

#include "base/FailureKinds.h"

namespace vantrel {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return; we leave the
// decoder by longjmp back into decodeWithLibjpeg and turn the message into an exception there.
struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// Progressive files can hold thousands of tiny scans that each re-run the whole picture; a real
// one needs a handful.
constexpr int kMaxScans = 500;

[[noreturn]] void failDecoding(j_common_ptr info) {
  auto* errors = reinterpret_cast<JpegErrors*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

// A file that ends early would otherwise be shown half grey; it is damaged, so it is refused.
// Other warnings (stray bytes between markers and the like) are tolerated as viewers do.
void reportMessage(j_common_ptr info, int level) {
  if (level < 0 && info->err->msg_code == JWRN_JPEG_EOF) failDecoding(info);
}

void watchScans(j_common_ptr info) {
  auto* decoder = reinterpret_cast<j_decompress_ptr>(info);
  if (decoder->input_scan_number > kMaxScans) {
    auto* errors = reinterpret_cast<JpegErrors*>(info->err);
    std::snprintf(errors->message, sizeof errors->message, "JPEG file has more than %d scans",
                  kMaxScans);
    std::longjmp(errors->jump, 1);
  }
}

struct Decoder {
  jpeg_decompress_struct info{};
  JpegErrors errors{};
  jpeg_progress_mgr progress{};
  bool created = false;
  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

enum class Outcome { Decoded, Failed, TooLarge };

std::uint8_t cmykChannel(unsigned colour, unsigned black, bool inverted) {
  // Adobe writes CMYK inverted (0 = full ink); others store plain ink amounts.
  return static_cast<std::uint8_t>(inverted ? colour * black / 255
                                            : (255 - colour) * (255 - black) / 255);
}

// Only plain values live in this frame: libjpeg may leave it by longjmp at any call.
Outcome decodeWithLibjpeg(Decoder& decoder, const unsigned char* data, unsigned long size,
                          std::int64_t maxPixels, Picture& picture) {
  jpeg_decompress_struct& info = decoder.info;
  info.err = jpeg_std_error(&decoder.errors.manager);
  decoder.errors.manager.error_exit = failDecoding;
  decoder.errors.manager.emit_message = reportMessage;
  if (setjmp(decoder.errors.jump)) return Outcome::Failed;

  jpeg_create_decompress(&info);
  decoder.created = true;
  decoder.progress.progress_monitor = watchScans;
  info.progress = &decoder.progress;
  jpeg_mem_src(&info, data, size);
  jpeg_read_header(&info, TRUE);
  const std::int64_t width = info.image_width;
  const std::int64_t height = info.image_height;
  if (width <= 0 || height <= 0 || width > maxPixels || height > maxPixels / width)
    return Outcome::TooLarge;
  // Whole-picture buffers of progressive files (a few bytes a pixel) and the result together
  // stay within the bound of any decoding; beyond it libjpeg fails with its own message.
  info.mem->max_memory_to_use =
      static_cast<long>(std::max(kMaxDecodingBytes - width * height * 4, std::int64_t{16} << 20));

  const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
  jpeg_start_decompress(&info);
  if (info.output_components != 4) {
    std::snprintf(decoder.errors.message, sizeof decoder.errors.message,
                  "JPEG colour space not supported");
    return Outcome::Failed;
  }
  picture.width = static_cast<int>(width);
  picture.height = static_cast<int>(height);
  picture.rgba.assign(static_cast<std::size_t>(width * height * 4), 0);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row =
        picture.rgba.data() + picture.offsetOf(0, static_cast<int>(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);

  if (cmyk) {
    const bool inverted = info.saw_Adobe_marker;
    for (std::size_t at = 0; at < picture.rgba.size(); at += 4) {
      const unsigned black = picture.rgba[at + 3];
      for (int k = 0; k < 3; ++k)
        picture.rgba[at + k] = cmykChannel(picture.rgba[at + k], black, inverted);
      picture.rgba[at + 3] = 255;
    }
  }
  return Outcome::Decoded;
}

}  // namespace

Picture decodeJpeg(std::string_view bytes, std::int64_t maxPixels) {
  Decoder decoder;
  Picture picture;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  switch (decodeWithLibjpeg(decoder, data, static_cast<unsigned long>(bytes.size()), maxPixels,
                            picture)) {
    case Outcome::Decoded:
      return picture;
    case Outcome::TooLarge:
      checkPictureSize(decoder.info.image_width, decoder.info.image_height, maxPixels);
      throw PictureError(failure(PictureFailure::JpegInvalidSize));
    case Outcome::Failed:
      break;
  }
  throw PictureError(failure(PictureFailure::JpegError, decoder.errors.message));
}

}  // namespace vantrel
