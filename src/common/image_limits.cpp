#include "common/image_limits.hpp"

#include <array>
#include <cctype>
#include <istream>
#include <limits>

namespace scenetext {
namespace {

using namespace std::string_view_literals;
using Dimensions = std::optional<ImageDimensions>;

// Text headers (PNM, PAM, PFM, HDR) are looked for in this much of the file: comments longer
// than that are not worth following, and the decoder still judges such a file.
constexpr size_t kTextHeaderWindow = size_t{64} * 1024;
// Walks over segments, boxes and directory entries stop here. libtiff refuses an IFD of more
// entries; no real JPEG or JP2 file comes near this many segments before its frame header.
constexpr int kMaxEntries = 65535;

Dimensions positive(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return std::nullopt;
  return ImageDimensions{width, height};
}

// An unsigned integer of `size` bytes (at most 8) at `at`; nullopt past the end of `bytes`.
std::optional<uint64_t> readUnsigned(std::string_view bytes, size_t at, size_t size,
                                     bool bigEndian) {
  if (at > bytes.size() || bytes.size() - at < size) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = 0; i < size; ++i) {
    const size_t index = bigEndian ? at + i : at + size - 1 - i;
    value = (value << 8) | static_cast<unsigned char>(bytes[index]);
  }
  return value;
}

std::optional<uint64_t> be(std::string_view bytes, size_t at, size_t size) {
  return readUnsigned(bytes, at, size, true);
}
std::optional<uint64_t> le(std::string_view bytes, size_t at, size_t size) {
  return readUnsigned(bytes, at, size, false);
}

// `size` bytes from `at`, fewer (or none) where `bytes` ends first.
std::string_view slice(std::string_view bytes, size_t at, size_t size) {
  return at > bytes.size() ? std::string_view() : bytes.substr(at, size);
}

bool startsWith(std::string_view bytes, std::string_view magic) {
  return bytes.substr(0, magic.size()) == magic;
}

// Hands out the file byte by byte from a position, reading it in chunks.
class ByteCursor {
 public:
  ByteCursor(const ByteReader& read, uint64_t position) : read_(read), chunkEnd_(position) {}

  // The next byte, or -1 at the end of the file.
  int next() {
    if (index_ == chunk_.size()) {
      chunk_ = read_(chunkEnd_, kChunk);
      chunkEnd_ += chunk_.size();
      index_ = 0;
      if (chunk_.empty()) return -1;
    }
    return static_cast<unsigned char>(chunk_[index_++]);
  }

  // The next `count` bytes (fewer at the end of the file).
  std::string take(size_t count) {
    std::string bytes;
    for (int c; bytes.size() < count && (c = next()) >= 0;) bytes.push_back(static_cast<char>(c));
    return bytes;
  }

  void skip(uint64_t count) {
    const uint64_t inChunk = std::min<uint64_t>(count, chunk_.size() - index_);
    index_ += static_cast<size_t>(inChunk);
    chunkEnd_ += count - inChunk;  // the next read starts past the skipped bytes
  }

 private:
  static constexpr size_t kChunk = 4096;
  const ByteReader& read_;
  uint64_t chunkEnd_;  // file offset of the byte after chunk_
  std::string chunk_;
  size_t index_ = 0;
};

// --- PNG: the IHDR chunk is first, right after the 8-byte signature.
Dimensions pngDimensions(std::string_view head) {
  if (slice(head, 12, 4) != "IHDR") return std::nullopt;
  auto width = be(head, 16, 4), height = be(head, 20, 4);
  if (!width || !height) return std::nullopt;
  return positive(static_cast<int64_t>(*width), static_cast<int64_t>(*height));
}

// --- JPEG: markers in order up to the first frame header (SOF0-SOF15 but for DHT, JPG, DAC).
// Like the decoder, bytes between segments are skipped up to the next 0xFF, fill bytes too.
bool isFrameHeader(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool standsAlone(int marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

Dimensions jpegDimensions(const ByteReader& read) {
  ByteCursor cursor(read, 2);
  for (int segment = 0; segment < kMaxEntries; ++segment) {
    int c = cursor.next();
    while (c >= 0 && c != 0xFF) c = cursor.next();
    while (c == 0xFF) c = cursor.next();
    if (c < 0 || c == 0xD8 || c == 0xD9 || c == 0xDA) return std::nullopt;  // no frame before
    if (c == 0x00 || standsAlone(c)) continue;  // a stuffed byte is no marker
    const std::string length = cursor.take(2);
    const std::optional<uint64_t> size = be(length, 0, 2);
    if (!size || *size < 2) return std::nullopt;
    if (isFrameHeader(c)) {
      const std::string frame = cursor.take(5);  // precision, height, width
      auto height = be(frame, 1, 2), width = be(frame, 3, 2);
      if (!width || !height) return std::nullopt;
      return positive(static_cast<int64_t>(*width), static_cast<int64_t>(*height));
    }
    cursor.skip(*size - 2);
  }
  return std::nullopt;
}

// --- BMP: the core header (12 bytes) has 16-bit sides; the later ones signed 32-bit sides, a
// negative height meaning rows stored top-down.
Dimensions bmpDimensions(std::string_view head) {
  const std::optional<uint64_t> headerSize = le(head, 14, 4);
  if (!headerSize) return std::nullopt;
  if (*headerSize == 12) {
    auto width = le(head, 18, 2), height = le(head, 20, 2);
    if (!width || !height) return std::nullopt;
    return positive(static_cast<int64_t>(*width), static_cast<int64_t>(*height));
  }
  auto width = le(head, 18, 4), height = le(head, 22, 4);
  if (!width || !height) return std::nullopt;
  const int64_t signedHeight = static_cast<int32_t>(static_cast<uint32_t>(*height));
  return positive(static_cast<int32_t>(static_cast<uint32_t>(*width)),
                  signedHeight < 0 ? -signedHeight : signedHeight);
}

// --- GIF: the logical screen.
Dimensions gifDimensions(std::string_view head) {
  auto width = le(head, 6, 2), height = le(head, 8, 2);
  if (!width || !height) return std::nullopt;
  return positive(static_cast<int64_t>(*width), static_cast<int64_t>(*height));
}

// --- WebP: RIFF, then a lossy (VP8), lossless (VP8L) or extended (VP8X, the canvas) chunk.
Dimensions webpDimensions(std::string_view head) {
  const std::string_view chunk = slice(head, 12, 4);
  if (chunk == "VP8 ") {
    if (slice(head, 23, 3) != "\x9D\x01\x2A") return std::nullopt;
    auto width = le(head, 26, 2), height = le(head, 28, 2);
    if (!width || !height) return std::nullopt;
    return positive(static_cast<int64_t>(*width & 0x3FFF), static_cast<int64_t>(*height & 0x3FFF));
  }
  if (chunk == "VP8L") {
    const std::optional<uint64_t> bits = le(head, 21, 4);
    if (slice(head, 20, 1) != "\x2F" || !bits) return std::nullopt;
    return positive(static_cast<int64_t>(*bits & 0x3FFF) + 1,
                    static_cast<int64_t>((*bits >> 14) & 0x3FFF) + 1);
  }
  if (chunk == "VP8X") {
    auto width = le(head, 24, 3), height = le(head, 27, 3);
    if (!width || !height) return std::nullopt;
    return positive(static_cast<int64_t>(*width) + 1, static_cast<int64_t>(*height) + 1);
  }
  return std::nullopt;
}

// --- TIFF and BigTIFF: ImageWidth (256) and ImageLength (257) of the first image file directory,
// single values stored in the entry itself.
struct TiffLayout {
  bool bigEndian;
  bool big;  // BigTIFF: 8-byte counts and offsets, 20-byte entries
};

std::optional<uint64_t> tiffEntryValue(std::string_view entry, const TiffLayout& layout) {
  const size_t countSize = layout.big ? 8 : 4;
  const std::optional<uint64_t> type = readUnsigned(entry, 2, 2, layout.bigEndian);
  const std::optional<uint64_t> count = readUnsigned(entry, 4, countSize, layout.bigEndian);
  if (!type || !count || *count != 1) return std::nullopt;
  // BYTE, SHORT, LONG, LONG8; a LONG8 fits in the entry only in BigTIFF.
  const size_t valueSize = *type == 1 ? 1 : *type == 3 ? 2 : *type == 4 ? 4 : *type == 16 ? 8 : 0;
  if (valueSize == 0 || valueSize > countSize) return std::nullopt;
  return readUnsigned(entry, 4 + countSize, valueSize, layout.bigEndian);
}

Dimensions tiffDimensions(const ByteReader& read, std::string_view head, const TiffLayout& layout) {
  const size_t countSize = layout.big ? 8 : 2;
  const size_t entrySize = layout.big ? 20 : 12;
  const std::optional<uint64_t> directory =
      readUnsigned(head, layout.big ? 8 : 4, layout.big ? 8 : 4, layout.bigEndian);
  if (!directory) return std::nullopt;
  const std::optional<uint64_t> entries =
      readUnsigned(read(*directory, countSize), 0, countSize, layout.bigEndian);
  if (!entries || *entries > kMaxEntries) return std::nullopt;
  std::optional<uint64_t> width, height;
  ByteCursor cursor(read, *directory + countSize);
  for (uint64_t i = 0; i < *entries && !(width && height); ++i) {
    const std::string entry = cursor.take(entrySize);
    const std::optional<uint64_t> tag = readUnsigned(entry, 0, 2, layout.bigEndian);
    if (entry.size() < entrySize || !tag) return std::nullopt;
    if (*tag == 256) width = tiffEntryValue(entry, layout);
    if (*tag == 257) height = tiffEntryValue(entry, layout);
  }
  if (!width || !height || *width > INT64_MAX || *height > INT64_MAX) return std::nullopt;
  return positive(static_cast<int64_t>(*width), static_cast<int64_t>(*height));
}

// --- Text headers: PNM, PAM, PFM, HDR.
class TextScanner {
 public:
  TextScanner(std::string_view text, size_t position) : text_(text), position_(position) {}

  // Skips white space and "#" comments, then reads a decimal number of at most 12 digits.
  std::optional<int64_t> number() {
    while (position_ < text_.size()) {
      const char c = text_[position_];
      if (c == '#') {
        while (position_ < text_.size() && text_[position_] != '\n' && text_[position_] != '\r') {
          ++position_;
        }
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++position_;
      } else {
        break;
      }
    }
    return digits();
  }

  // A decimal number right here, of at most 12 digits (a larger side is no image anyway).
  std::optional<int64_t> digits() {
    constexpr int kMaxDigits = 12;
    int64_t value = 0;
    int count = 0;
    while (position_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[position_]))) {
      if (++count > kMaxDigits) return std::nullopt;
      value = value * 10 + (text_[position_++] - '0');
    }
    if (count == 0) return std::nullopt;
    return value;
  }

  // Passes over one byte, whatever it is.
  void skipByte() {
    if (position_ < text_.size()) ++position_;
  }

  // The next line, without its "\n"; nullopt at the end of the text.
  std::optional<std::string_view> line() {
    if (position_ >= text_.size()) return std::nullopt;
    const size_t end = text_.find('\n', position_);
    const std::string_view line = text_.substr(
        position_, end == std::string_view::npos ? std::string_view::npos : end - position_);
    position_ = end == std::string_view::npos ? text_.size() : end + 1;
    return line;
  }

 private:
  std::string_view text_;
  size_t position_;
};

// P1-P6 and PF/Pf: the magic, then width and height as decimal text.
Dimensions netpbmDimensions(std::string_view text) {
  TextScanner scanner(text, 2);
  const std::optional<int64_t> width = scanner.number();
  // OpenCV's decoder takes the byte that ends the width along with it, so a "#" right after the
  // digits starts no comment there: "42#6\n42" is 42 x 6 to the decoder, and so to us.
  scanner.skipByte();
  const std::optional<int64_t> height = width ? scanner.number() : std::nullopt;
  if (!width || !height) return std::nullopt;
  return positive(*width, *height);
}

// P7: "WIDTH n" and "HEIGHT n" lines before "ENDHDR".
Dimensions pamDimensions(std::string_view text) {
  TextScanner scanner(text, 3);
  std::optional<int64_t> width, height;
  while (std::optional<std::string_view> line = scanner.line()) {
    const size_t start = line->find_first_not_of(" \t\r");
    if (start == std::string_view::npos) continue;
    const std::string_view rest = line->substr(start);
    if (startsWith(rest, "ENDHDR")) break;
    for (auto [keyword, value] : {std::pair{std::string_view("WIDTH"), &width},
                                  std::pair{std::string_view("HEIGHT"), &height}}) {
      if (!startsWith(rest, keyword)) continue;
      const size_t digit = rest.find_first_not_of(" \t", keyword.size());
      if (digit == keyword.size() || digit == std::string_view::npos) continue;
      *value = TextScanner(rest, digit).digits();
    }
  }
  if (!width || !height) return std::nullopt;
  return positive(*width, *height);
}

// Radiance: header lines up to an empty one, then the resolution "-Y height +X width" (the one
// orientation the decoder reads).
Dimensions hdrDimensions(std::string_view text) {
  TextScanner scanner(text, 0);
  while (std::optional<std::string_view> line = scanner.line()) {
    if (!line->empty()) continue;
    const std::optional<std::string_view> resolution = scanner.line();
    if (!resolution || !startsWith(*resolution, "-Y ")) return std::nullopt;
    TextScanner fields(*resolution, 3);
    const std::optional<int64_t> height = fields.digits();
    const size_t x = resolution->find(" +X ");
    if (!height || x == std::string_view::npos) return std::nullopt;
    const std::optional<int64_t> width = TextScanner(*resolution, x + 4).digits();
    if (!width) return std::nullopt;
    return positive(*width, *height);
  }
  return std::nullopt;
}

// --- JPEG 2000: the SIZ segment right after the codestream's SOC: the reference grid's extent
// minus the image's offset on it.
Dimensions codestreamDimensions(const ByteReader& read, uint64_t start) {
  const std::string siz = read(start, 24);  // SOC, SIZ, Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz
  if (!startsWith(siz, "\xFF\x4F\xFF\x51")) return std::nullopt;
  auto xSize = be(siz, 8, 4), ySize = be(siz, 12, 4), xOffset = be(siz, 16, 4),
       yOffset = be(siz, 20, 4);
  if (!xSize || !ySize || !xOffset || !yOffset) return std::nullopt;
  return positive(static_cast<int64_t>(*xSize) - static_cast<int64_t>(*xOffset),
                  static_cast<int64_t>(*ySize) - static_cast<int64_t>(*yOffset));
}

// JP2: boxes (32-bit length, type; length 1: a 64-bit length follows; 0: to the end of the file)
// up to the contiguous codestream box "jp2c".
Dimensions jp2Dimensions(const ByteReader& read) {
  uint64_t position = 0;
  for (int box = 0; box < kMaxEntries; ++box) {
    const std::string header = read(position, 16);
    auto length = be(header, 0, 4);
    if (!length || header.size() < 8) return std::nullopt;
    uint64_t headerSize = 8;
    if (*length == 1) {
      length = be(header, 8, 8);
      headerSize = 16;
      if (!length) return std::nullopt;
    }
    if (slice(header, 4, 4) == "jp2c") return codestreamDimensions(read, position + headerSize);
    if (*length < headerSize || *length > UINT64_MAX - position) return std::nullopt;
    position += *length;
  }
  return std::nullopt;
}

ByteReader memoryReader(std::string_view bytes) {
  return [bytes](uint64_t offset, size_t count) {
    if (offset >= bytes.size()) return std::string();
    return std::string(bytes.substr(static_cast<size_t>(offset), count));
  };
}

ByteReader streamReader(std::istream& file) {
  return [&file](uint64_t offset, size_t count) {
    std::string bytes;
    if (offset > static_cast<uint64_t>(std::numeric_limits<std::streamoff>::max())) return bytes;
    file.clear();
    file.seekg(static_cast<std::streamoff>(offset));
    if (!file) return bytes;
    bytes.resize(count);
    file.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(file.gcount()));
    return bytes;
  };
}

constexpr std::string_view kPngSignature = "\x89PNG\r\n\x1A\n";
constexpr std::string_view kJpegSignature = "\xFF\xD8\xFF";

bool isSpace(std::string_view head, size_t at) {
  return at < head.size() && std::isspace(static_cast<unsigned char>(head[at]));
}

// P1-P6 and PF/Pf followed by white space, as the decoders check.
bool isNetpbm(std::string_view head) {
  return head.size() >= 2 && head[0] == 'P' &&
         ((head[1] >= '1' && head[1] <= '6') || head[1] == 'F' || head[1] == 'f') &&
         isSpace(head, 2);
}

// Whether one of the decoders that OpenCV tries before its DICOM decoder takes the file, by the
// same signatures those decoders check (BMP, Radiance, JPEG, Sun raster, PNM, PFM, TIFF, PNG).
// JPEG 2000 and PAM come after DICOM. WebP is left out on purpose: its decoder claims a file only
// when libwebp can parse the first frame header, so a "RIFF....WEBP" file with a damaged frame
// header and "DICM" at 128 falls through to the DICOM decoder.
bool claimedBeforeDicom(std::string_view head) {
  for (std::string_view magic :
       {"BM"sv, "#?RGBE"sv, "#?RADIANCE"sv, kJpegSignature, "\x59\xA6\x6A\x95"sv, "II*\0"sv,
        "MM\0*"sv, "II+\0"sv, "MM\0+"sv, kPngSignature}) {
    if (startsWith(head, magic)) return true;
  }
  return isNetpbm(head);
}

// DICOM: a 128-byte preamble, then "DICM"; the signature OpenCV's DICOM decoder looks for.
constexpr size_t kDicomMagicAt = 128;

Status checkImageHeader(const ByteReader& read, int64_t limit) {
  if (read(kDicomMagicAt, 4) == "DICM" && !claimedBeforeDicom(read(0, 16))) {
    return Status::error("a DICOM file, which is not read");
  }
  const std::optional<ImageDimensions> declared = declaredImageDimensions(read);
  return declared ? checkPixelLimit(*declared, limit) : Status();
}
constexpr std::string_view kJp2Signature{"\x00\x00\x00\x0CjP  \r\n\x87\n", 12};

Dimensions textHeaderDimensions(const ByteReader& read, std::string_view head) {
  const bool netpbm = isNetpbm(head);
  const bool pam = startsWith(head, "P7") && head.size() > 2 &&
                   std::isspace(static_cast<unsigned char>(head[2]));
  const bool hdr = startsWith(head, "#?RADIANCE") || startsWith(head, "#?RGBE");
  if (!netpbm && !pam && !hdr) return std::nullopt;
  const std::string text = read(0, kTextHeaderWindow);
  if (hdr) return hdrDimensions(text);
  return pam ? pamDimensions(text) : netpbmDimensions(text);
}

}  // namespace

std::optional<ImageDimensions> declaredImageDimensions(const ByteReader& read) {
  const std::string head = read(0, 32);
  if (startsWith(head, kPngSignature)) return pngDimensions(head);
  if (startsWith(head, kJpegSignature)) return jpegDimensions(read);
  if (startsWith(head, "BM")) return bmpDimensions(head);
  if (startsWith(head, "GIF87a") || startsWith(head, "GIF89a")) return gifDimensions(head);
  if (startsWith(head, "RIFF") && slice(head, 8, 4) == "WEBP") return webpDimensions(head);
  if (startsWith(head, "II*\0"sv) || startsWith(head, "MM\0*"sv)) {
    return tiffDimensions(read, head, {head[0] == 'M', false});
  }
  if (startsWith(head, "II+\0\x08\0\0\0"sv) || startsWith(head, "MM\0+\0\x08\0\0"sv)) {
    return tiffDimensions(read, head, {head[0] == 'M', true});
  }
  if (startsWith(head, "\x59\xA6\x6A\x95")) {  // Sun raster
    auto width = be(head, 4, 4), height = be(head, 8, 4);
    if (!width || !height) return std::nullopt;
    return positive(static_cast<int64_t>(*width), static_cast<int64_t>(*height));
  }
  if (startsWith(head, kJp2Signature)) return jp2Dimensions(read);
  if (startsWith(head, "\xFF\x4F\xFF\x51")) return codestreamDimensions(read, 0);
  return textHeaderDimensions(read, head);
}

std::optional<ImageDimensions> declaredImageDimensions(std::string_view bytes) {
  return declaredImageDimensions(memoryReader(bytes));
}

std::optional<ImageDimensions> declaredImageDimensions(std::istream& file) {
  return declaredImageDimensions(streamReader(file));
}

Status checkPixelLimit(ImageDimensions dimensions, int64_t limit) {
  // Either side alone may be up to 2^32 or more; their product is compared without overflow.
  if (dimensions.width <= limit &&
      dimensions.height <= limit / std::max<int64_t>(dimensions.width, 1)) {
    return {};
  }
  return Status::error(std::to_string(dimensions.width) + "x" + std::to_string(dimensions.height) +
                       " pixels exceed the limit of " + std::to_string(limit));
}

Status checkImageHeader(std::istream& file, int64_t limit) {
  return checkImageHeader(streamReader(file), limit);
}

Status checkImageHeader(std::string_view bytes, int64_t limit) {
  return checkImageHeader(memoryReader(bytes), limit);
}

}  // namespace scenetext
