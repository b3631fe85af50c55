#include "io/box_files.hpp"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

namespace scenetext::io {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
// Tokens quoted back in messages are cut here so a garbage line still gives a readable message.
constexpr size_t kQuotedTokenLimit = 24;

using Problem = std::optional<std::string>;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isBlankLine(std::string_view line) {
  for (char c : line) {
    if (!isBlank(c)) return false;
  }
  return true;
}

size_t skipBlanks(std::string_view text, size_t pos) {
  while (pos < text.size() && isBlank(text[pos])) ++pos;
  return pos;
}

std::string quoteToken(std::string_view token) {
  std::string quoted = "'";
  quoted.append(token.substr(0, kQuotedTokenLimit));
  quoted.append(token.size() > kQuotedTokenLimit ? "...'" : "'");
  return quoted;
}

Problem parseInteger(std::string_view token, int& value) {
  const char* end = token.data() + token.size();
  auto [stop, error] = std::from_chars(token.data(), end, value);
  if (error == std::errc::result_out_of_range)
    return "number " + quoteToken(token) + " is out of range";
  if (error != std::errc() || stop != end) return "expected an integer, found " + quoteToken(token);
  return std::nullopt;
}

// Calls `readField` on each field of `fields`, in order, stopping at its first problem. Fields are
// separated by a comma (blanks around it allowed) or by blanks alone. With `trailingComma`, one
// comma may follow the last field, as before the word of a ground-truth line.
template <typename ReadField>
Problem readFields(std::string_view fields, bool trailingComma, ReadField readField) {
  size_t pos = skipBlanks(fields, 0);
  while (pos < fields.size()) {
    size_t stop = pos;
    while (stop < fields.size() && !isBlank(fields[stop]) && fields[stop] != ',') ++stop;
    if (stop == pos) return std::string("expected a number, found ','");
    if (Problem problem = readField(fields.substr(pos, stop - pos))) return problem;
    pos = skipBlanks(fields, stop);
    if (pos < fields.size() && fields[pos] == ',') {
      pos = skipBlanks(fields, pos + 1);
      if (pos == fields.size() && !trailingComma) return std::string("expected a number after ','");
    }
  }
  return std::nullopt;
}

Problem readIntegers(std::string_view fields, bool trailingComma, std::vector<int>& values) {
  return readFields(fields, trailingComma, [&](std::string_view token) -> Problem {
    int value = 0;
    if (Problem problem = parseInteger(token, value)) return problem;
    values.push_back(value);
    return std::nullopt;
  });
}

Problem checkBounds(int left, int top, int right, int bottom) {
  if (right < left) {
    return "right " + std::to_string(right) + " is less than left " + std::to_string(left);
  }
  if (bottom < top) {
    return "bottom " + std::to_string(bottom) + " is less than top " + std::to_string(top);
  }
  return std::nullopt;
}

// A score is any finite real number in decimal or exponent notation, with an optional sign.
Problem parseScore(std::string_view token, double& score) {
  std::string_view digits = token;
  if (digits.size() > 1 && digits.front() == '+') digits.remove_prefix(1);
  const char* end = digits.data() + digits.size();
  auto [stop, error] = std::from_chars(digits.data(), end, score, std::chars_format::general);
  if (error == std::errc::result_out_of_range)
    return "score " + quoteToken(token) + " is out of range";
  if (error != std::errc() || stop != end)
    return "expected a number for the score, found " + quoteToken(token);
  if (!std::isfinite(score)) return "score " + quoteToken(token) + " is not a finite number";
  return std::nullopt;
}

// Four integers and an optional real fifth field. Fields past the fifth are read as integers only
// to count them for the message.
Problem parseDetectionLine(std::string_view line, Detection& detection) {
  std::vector<int> values;
  std::optional<double> score;
  Problem problem = readFields(line, false, [&](std::string_view token) -> Problem {
    if (values.size() == 4 && !score) {
      double value = 0.0;
      if (Problem bad = parseScore(token, value)) return bad;
      score = value;
      return std::nullopt;
    }
    int value = 0;
    if (Problem bad = parseInteger(token, value)) return bad;
    values.push_back(value);
    return std::nullopt;
  });
  if (problem) return problem;
  const size_t count = values.size() + (score ? 1 : 0);
  if (values.size() != 4 || count > 5) {
    std::string message =
        "expected 4 numbers (left,top,right,bottom) and an optional score, found " +
        std::to_string(count);
    if (count == 8) message += "; quadrilateral boxes are not supported";
    return message;
  }
  detection.box = {values[0], values[1], values[2], values[3]};
  detection.score = score;
  return checkBounds(values[0], values[1], values[2], values[3]);
}

std::string unescapeWord(std::string_view raw) {
  std::string word;
  word.reserve(raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size() && raw[i + 1] == '"') continue;
    word += raw[i];
  }
  return word;
}

Problem parseGroundTruthLine(std::string_view line, WordBox& word) {
  const size_t open = line.find('"');
  std::vector<int> values;
  if (Problem problem = readIntegers(line.substr(0, open), true, values)) {
    // Four good numbers and then a bad token: most likely a word someone forgot to quote.
    if (values.size() == 4 && open == std::string_view::npos) {
      return std::string("expected a quoted word after the coordinates");
    }
    return problem;
  }
  if (values.size() != 4) {
    return "expected 4 coordinates (left top right bottom) before the word, found " +
           std::to_string(values.size());
  }
  if (open == std::string_view::npos)
    return std::string("expected a quoted word after the coordinates");
  const size_t close = line.rfind('"');
  if (close == open) return std::string("the word has no closing quote");
  if (!isBlankLine(line.substr(close + 1))) {
    return "unexpected text after the word: " + quoteToken(line.substr(close + 1));
  }
  word.left = values[0];
  word.top = values[1];
  word.right = values[2];
  word.bottom = values[3];
  word.text = unescapeWord(line.substr(open + 1, close - open - 1));
  word.dontCare = word.text == "###";
  return checkBounds(word.left, word.top, word.right, word.bottom);
}

// Calls `parseLine(line, item)` on every non-blank line and collects the items; stops at the
// first problem and names the file and the line.
template <typename T, typename ParseLine>
Result<std::vector<T>> parseLines(std::string_view text, const std::string& name,
                                  ParseLine parseLine) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
    text.remove_prefix(kByteOrderMark.size());
  std::vector<T> items;
  int lineNumber = 0;
  while (!text.empty()) {
    ++lineNumber;
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (isBlankLine(line)) continue;
    T item{};
    if (Problem problem = parseLine(line, item)) {
      return Status::error(name + ":" + std::to_string(lineNumber) + ": " + *problem);
    }
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

Result<std::vector<WordBox>> parseGroundTruth(std::string_view text, const std::string& name) {
  return parseLines<WordBox>(text, name, parseGroundTruthLine);
}

Result<std::vector<Detection>> parseScoredDetections(std::string_view text,
                                                     const std::string& name) {
  return parseLines<Detection>(text, name, parseDetectionLine);
}

Result<std::vector<Box>> parseDetections(std::string_view text, const std::string& name) {
  Result<std::vector<Detection>> detections = parseScoredDetections(text, name);
  if (!detections.ok()) return detections.status();
  std::vector<Box> boxes;
  boxes.reserve(detections->size());
  for (const Detection& detection : *detections) boxes.push_back(detection.box);
  return boxes;
}

std::string formatGroundTruth(const std::vector<WordBox>& words, GroundTruthStyle style) {
  const std::string separator = style == GroundTruthStyle::kCommas ? ", " : " ";
  std::string text;
  for (const WordBox& w : words) {
    for (int value : {w.left, w.top, w.right, w.bottom}) text += std::to_string(value) + separator;
    text += '"' + w.text + "\"\n";
  }
  return text;
}

std::string formatBoxList(const BoxList& boxes, int factor) {
  std::string text;
  char line[64];
  for (const Box& box : boxes) {
    int n = std::snprintf(line, sizeof line, "%d,%d,%d,%d\n", box.left * factor, box.top * factor,
                          box.right * factor, box.bottom * factor);
    text.append(line, static_cast<size_t>(n));
  }
  return text;
}

std::string formatScoredBoxList(const std::vector<InputLine>& lines) {
  std::string text;
  char line[96];
  for (const InputLine& l : lines) {
    const int n = std::snprintf(line, sizeof line, "%d,%d,%d,%d,%.6f\n", l.box.left, l.box.top,
                                l.box.right, l.box.bottom, l.score);
    text.append(line, static_cast<size_t>(n));
  }
  return text;
}

std::string formatWordBoxList(const std::vector<InputLine>& lines, bool scores) {
  std::vector<InputLine> words;
  for (const InputLine& l : lines) {
    for (const Box& word : l.words) words.push_back({word, l.score, {}});
  }
  if (scores) return formatScoredBoxList(words);
  BoxList boxes;
  for (const InputLine& word : words) boxes.push_back(word.box);
  return formatBoxList(boxes, 1);
}

}  // namespace scenetext::io
