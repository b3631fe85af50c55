#include "io/jpeg_codec.hpp"

#include <csetjmp>
#include <cstdio>  // before jpeglib.h, which uses FILE
#include <cstdlib>

#include <jpeglib.h>

namespace scenetext::io {
namespace {

// OpenCV's quality when imwrite is given no parameters.
constexpr int kDefaultQuality = 95;

// libjpeg reports a fatal error through error_exit, which must not return: it jumps back to the
// setjmp of the call in progress. Only plain data lives between a setjmp and its longjmp here.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void jumpOut(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

struct Decoder {
  jpeg_decompress_struct info{};
  ErrorManager errors{};
  bool created = false;

  ~Decoder() {
    if (created) jpeg_destroy_decompress(&info);
  }
};

bool readHeader(Decoder& decoder, std::string_view bytes) {
  decoder.info.err = jpeg_std_error(&decoder.errors.pub);
  decoder.errors.pub.error_exit = jumpOut;
  if (setjmp(decoder.errors.jump)) return false;
  jpeg_create_decompress(&decoder.info);
  decoder.created = true;
  // The memory source treats the end of the data as the file source does the end of the file:
  // a warning and an inserted end marker, so a cut-off photo decodes as far as its data goes.
  jpeg_mem_src(&decoder.info, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&decoder.info, TRUE);
  jpeg_calc_output_dimensions(&decoder.info);
  return true;
}

// OpenCV's CMYK to BGR formula, on libjpeg's inverted ("Adobe") CMYK: each ink scaled by black.
void cmykRowToBgr(const JSAMPLE* cmyk, uchar* bgr, int width) {
  for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
    const int k = cmyk[3];
    bgr[2] = static_cast<uchar>(k - ((255 - cmyk[0]) * k >> 8));
    bgr[1] = static_cast<uchar>(k - ((255 - cmyk[1]) * k >> 8));
    bgr[0] = static_cast<uchar>(k - ((255 - cmyk[2]) * k >> 8));
  }
}

// Rows into `image` (8UC3 of the output size). OpenCV asks libjpeg for RGB and swaps each row to
// BGR; libjpeg-turbo's BGR output is the same conversion with the bytes stored the other way round,
// so it is asked for BGR and writes straight into the image. An error in the last step, after every
// row is in, still counts as a decoded image, as it does for OpenCV.
bool readPixels(Decoder& decoder, cv::Mat& image) {
  jpeg_decompress_struct& info = decoder.info;
  if (setjmp(decoder.errors.jump)) return false;
  const bool cmyk = info.num_components == 4;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGR;
  info.out_color_components = cmyk ? 4 : 3;
  jpeg_start_decompress(&info);
  JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                             static_cast<JDIMENSION>(image.cols) * 4, 1);
  for (int y = 0; y < image.rows; ++y) {
    if (cmyk) {
      jpeg_read_scanlines(&info, row, 1);
      cmykRowToBgr(row[0], image.ptr(y), image.cols);
    } else {
      JSAMPROW target = image.ptr(y);
      jpeg_read_scanlines(&info, &target, 1);
    }
  }
  if (setjmp(decoder.errors.jump)) return true;
  jpeg_finish_decompress(&info);
  return true;
}

struct Encoder {
  jpeg_compress_struct info{};
  ErrorManager errors{};
  unsigned char* output = nullptr;
  unsigned long outputSize = 0;

  ~Encoder() {
    jpeg_destroy_compress(&info);
    std::free(output);
  }
};

bool writeImage(Encoder& encoder, const cv::Mat& image) {
  jpeg_compress_struct& info = encoder.info;
  if (setjmp(encoder.errors.jump)) return false;
  jpeg_mem_dest(&info, &encoder.output, &encoder.outputSize);
  info.image_width = static_cast<JDIMENSION>(image.cols);
  info.image_height = static_cast<JDIMENSION>(image.rows);
  const bool colour = image.channels() == 3;
  info.input_components = colour ? 3 : 1;
  info.in_color_space = colour ? JCS_EXT_BGR : JCS_GRAYSCALE;  // the same conversion as from RGB
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, kDefaultQuality, TRUE);
  jpeg_start_compress(&info, TRUE);
  for (int y = 0; y < image.rows; ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(image.ptr(y));
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  return true;
}

}  // namespace

bool isJpeg(std::string_view bytes) { return bytes.starts_with("\xFF\xD8\xFF"); }

cv::Mat decodeJpeg(std::string_view bytes) {
  Decoder decoder;
  if (!readHeader(decoder, bytes)) return {};
  cv::Mat image(static_cast<int>(decoder.info.output_height),
                static_cast<int>(decoder.info.output_width), CV_8UC3);
  if (!readPixels(decoder, image)) return {};
  return image;
}

Result<std::string> encodeJpeg(const cv::Mat& image) {
  CV_Assert(image.depth() == CV_8U && (image.channels() == 1 || image.channels() == 3));
  Encoder encoder;
  encoder.info.err = jpeg_std_error(&encoder.errors.pub);
  encoder.errors.pub.error_exit = jumpOut;
  jpeg_create_compress(&encoder.info);
  if (!writeImage(encoder, image)) {
    char message[JMSG_LENGTH_MAX];
    encoder.errors.pub.format_message(reinterpret_cast<j_common_ptr>(&encoder.info), message);
    return Status::error(message);
  }
  return std::string(reinterpret_cast<const char*>(encoder.output), encoder.outputSize);
}

}  // namespace scenetext::io
