#include "driver/json_output.hpp"

#include <nlohmann/json.hpp>

namespace scenetext::driver {
namespace {

// ordered_json keeps the fields in the order written, which the documented layout promises.
using Json = nlohmann::ordered_json;

std::string dump(const Json& object) {
  // A path is bytes, not necessarily UTF-8; replacing what does not decode keeps the output valid.
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace

std::string formatJsonReport(const ImageReport& report) {
  Json lines = Json::array();
  for (const io::InputLine& line : report.lines) {
    Json words = Json::array();
    for (const Box& word : line.words) {
      words.push_back(
          {{"left", word.left}, {"top", word.top}, {"right", word.right}, {"bottom", word.bottom}});
    }
    lines.push_back({{"left", line.box.left},
                     {"top", line.box.top},
                     {"right", line.box.right},
                     {"bottom", line.box.bottom},
                     {"score", line.score},
                     {"words", std::move(words)}});
  }
  Json object;
  object["image"] = report.image;
  object["width"] = report.width;
  object["height"] = report.height;
  object["candidates"] = report.candidates == regions::CandidateMode::kExact ? "exact" : "extended";
  object["model"] = report.modelPath;
  object["lines"] = std::move(lines);
  return dump(object);
}

std::string formatJsonError(const std::string& image, const std::string& message) {
  Json object;
  object["image"] = image;
  object["error"] = message;
  return dump(object);
}

}  // namespace scenetext::driver
