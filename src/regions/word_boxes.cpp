#include "regions/word_boxes.hpp"

#include <algorithm>
#include <cmath>

namespace scenetext::regions {
namespace {

struct Span {
  int first = 0;
  int last = -1;  // inclusive; last < first: empty
};

// Edge pixels per column of the line, the line's first column at index 0.
std::vector<int> columnCounts(const cv::Mat& edges, const Box& line) {
  std::vector<int> counts(line.right - line.left + 1, 0);
  for (int y = line.top; y <= line.bottom; ++y) {
    const uchar* row = edges.ptr<uchar>(y);
    for (int x = line.left; x <= line.right; ++x) counts[x - line.left] += row[x] != 0;
  }
  return counts;
}

// The first and last rows of `box` that hold an edge pixel between its columns.
Span inkRows(const cv::Mat& edges, const Box& box) {
  Span rows{0, -1};
  bool found = false;
  for (int y = box.top; y <= box.bottom; ++y) {
    const uchar* row = edges.ptr<uchar>(y);
    if (std::any_of(row + box.left, row + box.right + 1, [](uchar v) { return v != 0; })) {
      if (!found) rows.first = y;
      rows.last = y;
      found = true;
    }
  }
  return rows;
}

// The column spans of ink separated by runs of at least `minGap` empty columns.
std::vector<Span> wordColumns(const std::vector<int>& counts, int minGap) {
  std::vector<Span> words;
  int gap = 0;
  for (int x = 0; x < static_cast<int>(counts.size()); ++x) {
    if (counts[x] == 0) {
      ++gap;
      continue;
    }
    if (words.empty() || gap >= minGap) words.push_back({x, x});
    words.back().last = x;
    gap = 0;
  }
  return words;
}

Box grown(const Box& box, int margin, const Box& within) {
  return {std::max(box.left - margin, within.left), std::max(box.top - margin, within.top),
          std::min(box.right + margin, within.right), std::min(box.bottom + margin, within.bottom)};
}

}  // namespace

BoxList wordBoxes(const cv::Mat& edges, const Box& line, const WordSplitting& splitting) {
  CV_Assert(edges.type() == CV_8UC1);
  CV_Assert(line.left >= 0 && line.top >= 0 && line.right < edges.cols &&
            line.bottom < edges.rows && line.left <= line.right && line.top <= line.bottom);
  const Span lineInk = inkRows(edges, line);
  if (lineInk.last < lineInk.first) return {line};
  // The ink height, not the box height: candidate rectangles leave a varying margin around text.
  const int height = lineInk.last - lineInk.first + 1;
  const int minGap = std::max(1, static_cast<int>(std::ceil(splitting.gapFactor * height)));
  const int margin = static_cast<int>(std::lround(splitting.margin * height));
  BoxList words;
  for (const Span& columns : wordColumns(columnCounts(edges, line), minGap)) {
    const Box column{line.left + columns.first, line.top, line.left + columns.last, line.bottom};
    const Span rows = inkRows(edges, column);
    words.push_back(grown({column.left, rows.first, column.right, rows.last}, margin, line));
  }
  return words;
}

std::vector<BoxList> lineWords(const cv::Mat& edges, const BoxList& lines,
                               const WordSplitting& splitting) {
  std::vector<BoxList> words;
  words.reserve(lines.size());
  for (const Box& line : lines) words.push_back(wordBoxes(edges, line, splitting));
  return words;
}

}  // namespace scenetext::regions
