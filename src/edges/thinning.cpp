#include "edges/thinning.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "edges/working_buffer.hpp"

namespace scenetext::edges {
namespace {

// Neighbour bits of a pixel, row index growing downwards: x1 east, x2 north-east, x3 north,
// x4 north-west, x5 west, x6 south-west, x7 south, x8 south-east; xk is bit k - 1.
constexpr int kNeighbourPatterns = 256;

// Whether a foreground pixel with these neighbours is cleared by pass 1 or pass 2.
bool isDeletable(int neighbours, int pass) {
  const auto bit = [neighbours](int k) { return (neighbours >> (k - 1)) & 1; };
  const int x1 = bit(1), x2 = bit(2), x3 = bit(3), x4 = bit(4);
  const int x5 = bit(5), x6 = bit(6), x7 = bit(7), x8 = bit(8);
  // Exactly one 0-to-1 crossing around the pixel: removing it does not split the foreground.
  const int crossings =
      ((x1 | x2) & !x3) + ((x3 | x4) & !x5) + ((x5 | x6) & !x7) + ((x7 | x8) & !x1);
  if (crossings != 1) return false;
  // Two or three neighbours: the pixel is neither a line end nor an interior pixel.
  const int s1 = (x1 | x2) + (x3 | x4) + (x5 | x6) + (x7 | x8);
  const int s2 = (x2 | x3) + (x4 | x5) + (x6 | x7) + (x8 | x1);
  const int count = std::min(s1, s2);
  if (count < 2 || count > 3) return false;
  // Pass 1 peels south-east boundary pixels, pass 2 north-west ones.
  if (pass == 1) return !(x1 && (x2 || x3 || !x8));
  return !(x5 && (x6 || x7 || !x4));
}

// The decisions depend on the eight neighbours only, so they are tabulated once per pass.
using DeletionTable = std::array<bool, kNeighbourPatterns>;
const DeletionTable& deletionTable(int pass) {
  static const std::array<DeletionTable, 2> tables = [] {
    std::array<DeletionTable, 2> t{};
    for (int n = 0; n < kNeighbourPatterns; ++n) {
      t[0][n] = isDeletable(n, 1);
      t[1][n] = isDeletable(n, 2);
    }
    return t;
  }();
  return tables[pass - 1];
}

// The padded working matrix: 0/1 bytes with a frame of 0, and the positions of its 1s. A pixel's
// decision in a pass depends only on its eight neighbours, so a pixel that a pass has kept keeps
// the same decision in later passes of that kind until a neighbour is cleared: `unsettled` holds,
// per pixel, bit 0 while pass 1 still has to look at it and bit 1 likewise for pass 2.
struct Foreground {
  cv::Mat pixels;
  cv::Mat unsettled;
  std::vector<size_t> offsets;  // into pixels.data (and unsettled.data), row-major
};

int neighbourBits(const uchar* p, size_t offset, size_t step) {
  const uchar* above = p + offset - step;
  const uchar* here = p + offset;
  const uchar* below = p + offset + step;
  return here[1] | above[1] << 1 | above[0] << 2 | above[-1] << 3 | here[-1] << 4 | below[-1] << 5 |
         below[0] << 6 | below[1] << 7;
}

// Eight 0/1 flags as one word, flag k in bit 8k (whatever the processor's byte order).
uint64_t flagWord(const uchar* flags) {
  uint64_t word;
  std::memcpy(&word, flags, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

constexpr uchar kBothPasses = 3;

// One sub-iteration. Every decision reads the pixels as they were before the pass, so the
// pixels to clear are collected first and cleared afterwards: the same as writing into a copy.
// Only foreground pixels are examined (the frame never is), and of those only the ones whose
// neighbours changed since this kind of pass last kept them. Returns whether any was cleared.
bool thinningPass(Foreground& fg, int pass, std::vector<size_t>& doomed) {
  const DeletionTable& deletable = deletionTable(pass);
  uchar* p = fg.pixels.data;
  uchar* unsettled = fg.unsettled.data;
  const uchar bit = static_cast<uchar>(pass);  // 1 for pass 1, 2 for pass 2
  const size_t step = fg.pixels.step;
  doomed.clear();
  for (const size_t offset : fg.offsets) {
    if (!(unsettled[offset] & bit)) continue;
    unsettled[offset] &= static_cast<uchar>(~bit);
    if (deletable[neighbourBits(p, offset, step)]) doomed.push_back(offset);
  }
  if (doomed.empty()) return false;
  for (const size_t offset : doomed) {
    p[offset] = 0;
    for (const size_t row : {offset - step, offset, offset + step}) {
      unsettled[row - 1] = unsettled[row] = unsettled[row + 1] = kBothPasses;
    }
  }
  std::erase_if(fg.offsets, [p](size_t offset) { return p[offset] == 0; });
  return true;
}

// Thins a rows x cols matrix: `fill(r, row)` writes 1 for each foreground pixel of row r and 0
// for the others into the padded working row, and `write(r, kept)` receives the thinned row
// (1 kept, 0 cleared).
template <typename Fill, typename Write>
void thin(int rows, int cols, const Fill& fill, const Write& write) {
  // A one-pixel frame of background lets the outermost pixels thin like any other, and the rows
  // have room for a last whole chunk of flags. The working matrix and lists are kept per thread
  // between calls (a photo's are megabytes).
  constexpr int kChunk = 8;
  thread_local std::vector<uchar> storage, unsettledStorage;
  thread_local Foreground fg;
  fg.pixels = workingBuffer(storage, cv::Size(cols + 2 + kChunk, rows + 2), CV_8UC1);
  std::fill_n(storage.begin(), fg.pixels.total(), uchar{0});
  // Every pixel starts unsettled for both passes (the frame's marks are never read).
  fg.unsettled = workingBuffer(unsettledStorage, fg.pixels.size(), CV_8UC1);
  std::fill_n(unsettledStorage.begin(), fg.unsettled.total(), kBothPasses);
  fg.offsets.clear();
  const size_t step = fg.pixels.step;
  for (int r = 0; r < rows; ++r) {
    uchar* row = fg.pixels.ptr<uchar>(r + 1) + 1;
    fill(r, row);
    // The foreground's offsets in row-major order: eight flags at a time as one word, most of
    // them 0.
    const size_t rowOffset = static_cast<size_t>(r + 1) * step + 1;
    for (int c0 = 0; c0 < cols; c0 += kChunk) {
      // Each flag is 0 or 1, so a foreground pixel is the lowest bit of its byte.
      uint64_t flags = flagWord(row + c0);
      if (cols - c0 < kChunk) flags &= (uint64_t{1} << 8 * (cols - c0)) - 1;
      for (; flags != 0; flags &= flags - 1) {
        fg.offsets.push_back(rowOffset + c0 + std::countr_zero(flags) / 8);
      }
    }
  }
  // Passes only clear pixels, so an iteration that clears nothing leaves the matrix unchanged:
  // that is the stopping point.
  thread_local std::vector<size_t> doomed;
  for (;;) {
    const bool clearedFirst = thinningPass(fg, 1, doomed);
    const bool clearedSecond = thinningPass(fg, 2, doomed);
    if (!clearedFirst && !clearedSecond) break;
  }
  for (int r = 0; r < rows; ++r) write(r, fg.pixels.ptr<uchar>(r + 1) + 1);
}

}  // namespace

void thinEdgeBytes(cv::Mat& edges) {
  CV_Assert(edges.type() == CV_8UC1);
  const int cols = edges.cols;
  thin(
      edges.rows, cols,
      [&](int r, uchar* row) {
        const uchar* in = edges.ptr<uchar>(r);
        for (int c = 0; c < cols; ++c) row[c] = in[c] != 0;
      },
      [&](int r, const uchar* kept) {
        uchar* out = edges.ptr<uchar>(r);
        for (int c = 0; c < cols; ++c) out[c] = kept[c] ? 255 : 0;
      });
}

}  // namespace scenetext::edges
