#pragma once

// The size an image file declares in its header, read before a single pixel is decoded, and the
// largest image the tools agree to decode. A decompression bomb (a few kilobytes of PNG or JPEG
// that claim 30000 x 30000 pixels) is refused from its header, without allocating.
//
// Headers read: PNG (IHDR), JPEG (the first SOFn segment), BMP, GIF, WebP (VP8, VP8L, VP8X), TIFF
// and BigTIFF (the first IFD), PBM/PGM/PPM (P1-P6), PAM (P7), PFM, Sun raster, Radiance HDR and
// JPEG 2000 (J2K codestreams and JP2 files, from the codestream's SIZ segment). Any other format,
// and a header too short or too broken to say, declares nothing: the decoder then judges the file
// under its own limit, and the decoded size is checked against ours afterwards. DICOM files are
// refused outright (see checkImageHeader).

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "common/status.hpp"

namespace scenetext {

// The most pixels (width x height) an input image may have. The largest camera sensors on sale
// make about 200 million (a 16320 x 12240 phone sensor: 199.8 million; medium format: 100 to 150
// million), so no photograph is refused. A whole detection run on 16000 x 12500 pixels peaks at
// 1.3 GB (8-bit BGR input, its padded copy, the reduced working image, the result image and its
// encoding), so even a batch of several at once fits an ordinary machine. Above this a file is far
// more likely a decompression bomb than a photograph.
inline constexpr int64_t kMaxImagePixels = 200'000'000;

struct ImageDimensions {
  int64_t width = 0;   // pixels, > 0
  int64_t height = 0;  // pixels, > 0

  friend bool operator==(const ImageDimensions&, const ImageDimensions&) = default;
};

// Up to `count` bytes of the file from `offset` on: fewer at its end, none past it.
using ByteReader = std::function<std::string(uint64_t offset, size_t count)>;

// The width and height the header declares; nullopt for a format not listed above, and for a
// header too short or malformed to say (a zero side included). Reads a few bytes at a time, at
// most about 64 KiB of a text header, and never the pixel data.
std::optional<ImageDimensions> declaredImageDimensions(const ByteReader& read);
std::optional<ImageDimensions> declaredImageDimensions(std::string_view bytes);
// Reads through `file` (opened in binary mode) with seeks; leaves it at an unspecified position.
std::optional<ImageDimensions> declaredImageDimensions(std::istream& file);

// Fails with "WIDTHxHEIGHT pixels exceed the limit of N" when width x height > limit.
Status checkPixelLimit(ImageDimensions dimensions, int64_t limit = kMaxImagePixels);

// The check before decoding: checkPixelLimit on what the header declares; a file that declares
// nothing passes. A DICOM file ("DICM" at byte 128, and no signature that a decoder OpenCV tries
// earlier takes) is refused whatever its size with "a DICOM file, which is not read": OpenCV hands
// it to GDCM, whose reader ends the whole process with a failed assertion on a damaged file (found
// by fuzzing), and a medical scan is no photograph of a scene.
Status checkImageHeader(std::istream& file, int64_t limit = kMaxImagePixels);
Status checkImageHeader(std::string_view bytes, int64_t limit = kMaxImagePixels);

}  // namespace scenetext
