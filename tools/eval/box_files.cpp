#include "eval/box_files.hpp"

#include <charconv>
#include <optional>

namespace scenetext::evaluation {
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
  if (error == std::errc::result_out_of_range) return "number " + quoteToken(token) + " is out of range";
  if (error != std::errc() || stop != end) return "expected an integer, found " + quoteToken(token);
  return std::nullopt;
}

// Reads integers separated by a comma (blanks around it allowed) or by blanks alone. With
// `trailingComma`, one comma may follow the last number, as before the word of a ground-truth line.
Problem readIntegers(std::string_view fields, bool trailingComma, std::vector<int>& values) {
  size_t pos = skipBlanks(fields, 0);
  while (pos < fields.size()) {
    size_t stop = pos;
    while (stop < fields.size() && !isBlank(fields[stop]) && fields[stop] != ',') ++stop;
    if (stop == pos) return std::string("expected a number, found ','");
    int value = 0;
    if (Problem problem = parseInteger(fields.substr(pos, stop - pos), value)) return problem;
    values.push_back(value);
    pos = skipBlanks(fields, stop);
    if (pos < fields.size() && fields[pos] == ',') {
      pos = skipBlanks(fields, pos + 1);
      if (pos == fields.size() && !trailingComma) return std::string("expected a number after ','");
    }
  }
  return std::nullopt;
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

Problem parseDetectionLine(std::string_view line, Rect& box) {
  std::vector<int> values;
  if (Problem problem = readIntegers(line, false, values)) return problem;
  if (values.size() != 4) {
    std::string problem = "expected 4 numbers (left,top,right,bottom), found " +
                          std::to_string(values.size());
    if (values.size() == 8) problem += "; quadrilateral boxes are not supported";
    return problem;
  }
  box = {values[0], values[1], values[2], values[3]};
  return checkBounds(box.left, box.top, box.right, box.bottom);
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
  if (open == std::string_view::npos) return std::string("expected a quoted word after the coordinates");
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
Result<std::vector<T>> parseLines(std::string_view text, const std::string& name, ParseLine parseLine) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) text.remove_prefix(kByteOrderMark.size());
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

Result<std::vector<Rect>> parseDetections(std::string_view text, const std::string& name) {
  return parseLines<Rect>(text, name, parseDetectionLine);
}

}  // namespace scenetext::evaluation
