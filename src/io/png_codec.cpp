#include "io/png_codec.hpp"

#include <png.h>
#include <zlib.h>

#include <cstring>
#include <vector>

namespace scenetext::io {
namespace {

// What OpenCV's PNG writer sets when imwrite is given no parameters: "tuned for speed".
constexpr int kDefaultCompressionLevel = Z_BEST_SPEED;
constexpr int kDefaultStrategy = Z_RLE;

struct MemoryInput {
  std::string_view bytes;
  size_t position = 0;
};

// Reads like libpng's own file reader, which fails a short read with this message.
void readFromMemory(png_structp png, png_bytep data, size_t length) {
  auto* input = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (input->bytes.size() - input->position < length) png_error(png, "Read Error");
  std::memcpy(data, input->bytes.data() + input->position, length);
  input->position += length;
}

struct Decoder {
  png_structp png = nullptr;
  png_infop info = nullptr;
  png_infop endInfo = nullptr;
  MemoryInput input;
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0;

  ~Decoder() {
    if (png) png_destroy_read_struct(&png, &info, &endInfo);
  }
};

bool readHeader(Decoder& decoder) {
  decoder.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!decoder.png) return false;
  decoder.info = png_create_info_struct(decoder.png);
  decoder.endInfo = png_create_info_struct(decoder.png);
  if (!decoder.info || !decoder.endInfo) return false;
  if (setjmp(png_jmpbuf(decoder.png))) return false;
  png_set_read_fn(decoder.png, &decoder.input, readFromMemory);
  png_read_info(decoder.png, decoder.info);
  png_get_IHDR(decoder.png, decoder.info, &decoder.width, &decoder.height, &decoder.bitDepth,
               &decoder.colourType, nullptr, nullptr, nullptr);
  return decoder.bitDepth <= 8 || decoder.bitDepth == 16;
}

// The transformations OpenCV asks of libpng for a 3-channel 8-bit image.
void requestBgr(const Decoder& decoder) {
  png_structp png = decoder.png;
  if (decoder.bitDepth == 16) png_set_strip_16(png);
  png_set_strip_alpha(png);
  if (decoder.colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  const bool colour = (decoder.colourType & PNG_COLOR_MASK_COLOR) != 0;
  if (!colour && decoder.bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (colour) {
    png_set_bgr(png);
  } else {
    png_set_gray_to_rgb(png);
  }
  png_set_interlace_handling(png);
}

// Only plain data between the setjmp and any longjmp: the row pointers are filled beforehand.
bool readPixels(Decoder& decoder, png_bytepp rows) {
  if (setjmp(png_jmpbuf(decoder.png))) return false;
  requestBgr(decoder);
  png_read_update_info(decoder.png, decoder.info);
  png_read_image(decoder.png, rows);
  png_read_end(decoder.png, decoder.endInfo);
  return true;
}

struct Encoder {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string output;

  ~Encoder() {
    if (png) png_destroy_write_struct(&png, &info);
  }
};

void writeToMemory(png_structp png, png_bytep data, size_t length) {
  static_cast<std::string*>(png_get_io_ptr(png))
      ->append(reinterpret_cast<const char*>(data), length);
}

void flushNothing(png_structp) {}

bool writeImage(Encoder& encoder, const cv::Mat& image, png_bytepp rows) {
  png_structp png = encoder.png;
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &encoder.output, writeToMemory, flushNothing);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, kDefaultCompressionLevel);
  png_set_compression_strategy(png, kDefaultStrategy);
  png_set_IHDR(png, encoder.info, static_cast<png_uint_32>(image.cols),
               static_cast<png_uint_32>(image.rows), 8,
               image.channels() == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, encoder.info);
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, encoder.info);
  return true;
}

// libpng prints an error before it jumps; the message is kept for the caller as well.
void keepError(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

}  // namespace

bool isPng(std::string_view bytes) { return bytes.starts_with("\x89PNG\r\n\x1A\n"); }

cv::Mat decodePng(std::string_view bytes) {
  Decoder decoder;
  decoder.input.bytes = bytes;
  if (!readHeader(decoder)) return {};
  cv::Mat image(static_cast<int>(decoder.height), static_cast<int>(decoder.width), CV_8UC3);
  std::vector<png_bytep> rows(static_cast<size_t>(image.rows));
  for (int y = 0; y < image.rows; ++y) rows[static_cast<size_t>(y)] = image.ptr(y);
  if (!readPixels(decoder, rows.data())) return {};
  return image;
}

Result<std::string> encodePng(const cv::Mat& image) {
  CV_Assert(image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3));
  std::string error;
  Encoder encoder;
  encoder.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, keepError, nullptr);
  if (encoder.png) encoder.info = png_create_info_struct(encoder.png);
  if (!encoder.png || !encoder.info) return Status::error("libpng could not start");
  std::vector<png_bytep> rows(static_cast<size_t>(image.rows));
  for (int y = 0; y < image.rows; ++y)
    rows[static_cast<size_t>(y)] = const_cast<uchar*>(image.ptr(y));
  if (!writeImage(encoder, image, rows.data())) return Status::error(error);
  return std::move(encoder.output);
}

}  // namespace scenetext::io
