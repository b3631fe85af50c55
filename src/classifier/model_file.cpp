#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>

#include "classifier/stump_cascade.hpp"
#include "common/file_output.hpp"

namespace scenetext::classifier {
namespace {

// A stump line has six fields: unused, featureIndex, polarity, threshold, weight, extra.
constexpr int kStumpFieldCount = 6;
// Fields and the closing line's number are separated by a comma and exactly one space.
constexpr std::string_view kFieldSeparator = ", ";
constexpr std::string_view kTerminator = "#";
// The reserved field of a stump is never read; the loader stores this.
constexpr float kStumpReserved = 0.0f;
// "%.9g": nine significant digits bring every single-precision value back exactly.
constexpr int kRealDigits = 9;

// Numbers are read as C's atoi/atof read them in the "C" locale, whatever locale the host program
// has set: a decimal comma must never creep into a model file.
locale_t cLocale() {
  static const locale_t locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

// atoi: strtol in base 10, its long truncated to 32 bits (so out-of-range text wraps).
int parseInteger(std::string_view field) {
  const std::string text(field);
  const long value = cLocale() ? ::strtol_l(text.c_str(), nullptr, 10, cLocale())
                               : std::strtol(text.c_str(), nullptr, 10);
  return static_cast<int>(value);
}

// atof: strtod (decimal, hexadecimal, inf, nan), then rounded to single precision.
float parseReal(std::string_view field) {
  const std::string text(field);
  const double value =
      cLocale() ? ::strtod_l(text.c_str(), nullptr, cLocale()) : std::strtod(text.c_str(), nullptr);
  return static_cast<float>(value);
}

// Hands out the text line by line, without the line end, counting lines from 1.
class LineReader {
 public:
  explicit LineReader(std::string_view text) : rest_(text) {}

  // Nothing follows the last "\n": a final line needs no newline, but an empty rest is no line.
  std::optional<std::string_view> next() {
    if (rest_.empty()) return std::nullopt;
    const size_t end = rest_.find('\n');
    std::string_view line = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    ++number_;
    return line;
  }

  int number() const { return number_; }

 private:
  std::string_view rest_;
  int number_ = 0;
};

Status lineFault(const std::string& name, int line, const std::string& problem) {
  return Status::error(name + ":" + std::to_string(line) + ": " + problem);
}

// Splits from the left on ", " into at most six fields; the sixth ends at a further separator,
// which with everything after it is ignored. Returns how many fields the line has (up to six).
int splitStumpFields(std::string_view line,
                     std::array<std::string_view, kStumpFieldCount>& fields) {
  int count = 0;
  while (count < kStumpFieldCount) {
    const size_t separator = line.find(kFieldSeparator);
    fields[count++] = line.substr(0, separator);
    if (separator == std::string_view::npos) break;
    line.remove_prefix(separator + kFieldSeparator.size());
  }
  return count;
}

// The line's order is index, polarity, threshold, weight, extra; the record's differs.
Status parseStumpLine(std::string_view line, StumpRecord& record) {
  std::array<std::string_view, kStumpFieldCount> fields;
  const int count = splitStumpFields(line, fields);
  if (count < kStumpFieldCount) {
    return Status::error("stump line has only " + std::to_string(count) + " of its " +
                         std::to_string(kStumpFieldCount) +
                         " fields (n, featureIndex, polarity, threshold, weight, extra)");
  }
  record = makeStumpRecord(parseInteger(fields[1]), parseInteger(fields[2]), parseReal(fields[3]),
                           parseReal(fields[4]), parseReal(fields[5]));
  // Evaluation reads the FeatureVector at this index unchecked, for every polarity.
  if (record.featureIndex < 0 || record.featureIndex >= kFeatureCount) {
    return Status::error("feature index " + std::to_string(record.featureIndex) +
                         " is outside 0.." + std::to_string(kFeatureCount - 1));
  }
  return {};
}

// "@, t"; without the separator the number is read from the text after the "@".
float closingLineThreshold(std::string_view line) {
  const size_t separator = line.find(kFieldSeparator);
  return parseReal(separator == std::string_view::npos
                       ? line.substr(1)
                       : line.substr(separator + kFieldSeparator.size()));
}

// Reads the stump lines and the closing line of a block whose header has just been read.
Status parseStageBody(LineReader& lines, const std::string& name, CascadeStage& stage) {
  const int headerLine = lines.number();
  for (;;) {
    const std::optional<std::string_view> line = lines.next();
    if (!line) {
      return lineFault(name, lines.number() + 1,
                       "the file ends inside the stage that starts at line " +
                           std::to_string(headerLine) + ", before its \"@\" closing line");
    }
    if (!line->empty() && line->front() == '@') {
      stage.push_back(makeThresholdRecord(closingLineThreshold(*line)));
      return {};
    }
    StumpRecord record;
    Status status = parseStumpLine(*line, record);
    if (!status.ok()) return lineFault(name, lines.number(), status.message());
    stage.push_back(record);
  }
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

Result<std::string> readModelBytes(const std::string& path) {
  auto failure = [&path](int error) {
    return Status::error("cannot read model '" + path + "': " + std::strerror(error));
  };
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return failure(errno);
  std::string bytes;
  std::array<char, 1 << 16> buffer;
  size_t count;
  while ((count = std::fread(buffer.data(), 1, buffer.size(), file.get())) > 0) {
    bytes.append(buffer.data(), count);
  }
  // A folder opens but cannot be read (EISDIR).
  if (std::ferror(file.get())) return failure(errno);
  return bytes;
}

void appendInteger(std::string& out, int value) {
  std::array<char, 16> buffer;
  const std::to_chars_result result =
      std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  out.append(buffer.data(), result.ptr);
}

// "%.9g" without the locale's say over the decimal point.
void appendReal(std::string& out, float value) {
  std::array<char, 32> buffer;
  const std::to_chars_result result = std::to_chars(buffer.data(), buffer.data() + buffer.size(),
                                                    value, std::chars_format::general, kRealDigits);
  out.append(buffer.data(), result.ptr);
}

// A header must stay one line and must not read as the terminator.
std::string safeStageHeader(const std::vector<std::string>& headers, size_t stage) {
  std::string defaultHeader = "stage " + std::to_string(stage + 1);
  if (stage >= headers.size()) return defaultHeader;
  std::string header = headers[stage];
  std::replace_if(
      header.begin(), header.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  if (header == kTerminator) header += " " + defaultHeader;
  return header;
}

void appendStumpLine(std::string& out, size_t number, const StumpRecord& stump) {
  out += std::to_string(number);
  out += kFieldSeparator;
  appendInteger(out, stump.featureIndex);
  out += kFieldSeparator;
  appendInteger(out, stump.polarity);
  out += kFieldSeparator;
  appendReal(out, stump.threshold);
  out += kFieldSeparator;
  appendReal(out, stump.weight);
  out += kFieldSeparator;
  appendReal(out, stump.extra);
  out += '\n';
}

// What formatStumpCascade cannot write faithfully, or the loader would refuse.
Status checkSavable(const StumpCascade& cascade) {
  for (size_t k = 0; k < cascade.size(); ++k) {
    const std::string stage = "stage " + std::to_string(k + 1);
    if (cascade[k].empty()) return Status::error(stage + " has no records, not even a threshold");
    for (size_t j = 0; j + 1 < cascade[k].size(); ++j) {
      const int index = cascade[k][j].featureIndex;
      if (index < 0 || index >= kFeatureCount) {
        return Status::error(stage + ", stump " + std::to_string(j + 1) + ": feature index " +
                             std::to_string(index) + " is outside 0.." +
                             std::to_string(kFeatureCount - 1));
      }
    }
  }
  return {};
}

}  // namespace

StumpRecord makeStumpRecord(int featureIndex, int polarity, float threshold, float weight,
                            float extra) {
  return StumpRecord{featureIndex, kStumpReserved, threshold, polarity, weight, extra};
}

StumpRecord makeThresholdRecord(float stageThreshold) {
  return StumpRecord{-1, -1.0f, stageThreshold, -1, -1.0f, -1.0f};
}

Status parseStumpCascade(std::string_view text, const std::string& name, StumpCascade& cascade) {
  LineReader lines(text);
  StumpCascade parsed;
  for (;;) {
    const std::optional<std::string_view> header = lines.next();
    if (!header) {
      return lineFault(name, lines.number() + 1, "the file ends before its \"#\" terminator line");
    }
    if (*header == kTerminator) break;
    CascadeStage stage;
    Status status = parseStageBody(lines, name, stage);
    if (!status.ok()) return status;
    parsed.push_back(std::move(stage));
  }
  // Only a whole model reaches the caller.
  cascade.insert(cascade.end(), std::make_move_iterator(parsed.begin()),
                 std::make_move_iterator(parsed.end()));
  return {};
}

Status loadStumpCascade(const std::string& path, StumpCascade& cascade) {
  Result<std::string> bytes = readModelBytes(path);
  if (!bytes.ok()) return bytes.status();
  return parseStumpCascade(*bytes, path, cascade);
}

std::string formatStumpCascade(const StumpCascade& cascade,
                               const std::vector<std::string>& stageHeaders) {
  std::string out;
  for (size_t k = 0; k < cascade.size(); ++k) {
    const CascadeStage& stage = cascade[k];
    if (stage.empty()) continue;
    out += safeStageHeader(stageHeaders, k);
    out += '\n';
    for (size_t j = 0; j + 1 < stage.size(); ++j) appendStumpLine(out, j + 1, stage[j]);
    out += '@';
    out += kFieldSeparator;
    appendReal(out, stage.back().threshold);
    out += '\n';
  }
  out += kTerminator;
  out += '\n';
  return out;
}

Status saveStumpCascade(const std::string& path, const StumpCascade& cascade,
                        const std::vector<std::string>& stageHeaders) {
  Status status = checkSavable(cascade);
  if (!status.ok()) return Status::error("cannot save model '" + path + "': " + status.message());
  return writeFileAtomically(path, formatStumpCascade(cascade, stageHeaders));
}

}  // namespace scenetext::classifier
