// scenetext-word-sweep MODEL exact|extended IMAGE_DIR OUT_DIR GAPS MARGINS: detects the lines of
// every .jpg of IMAGE_DIR once and writes the word box lists of every (gap factor, margin) pair,
// OUT_DIR/g<gap>_m<margin>/<name>.txt, plus the line box lists in OUT_DIR/lines/. GAPS and MARGINS
// are comma-separated numbers. The box lists are those of `scenetext --granularity word` with the
// given setting; bench/word_split_cv.py cross-validates the setting over them.

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/run.hpp"
#include "edges/edge_detection.hpp"
#include "io/box_files.hpp"
#include "regions/word_boxes.hpp"

namespace {

namespace fs = std::filesystem;
using scenetext::BoxList;
using scenetext::regions::WordSplitting;

std::vector<double> parseList(const std::string& text) {
  std::vector<double> values;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) values.push_back(std::stod(item));
  return values;
}

std::string settingName(const WordSplitting& s) {
  std::ostringstream name;
  name << "g" << s.gapFactor << "_m" << s.margin;
  return name.str();
}

void writeBoxes(const fs::path& path, const BoxList& boxes, int factor) {
  std::ofstream(path, std::ios::binary) << scenetext::io::formatBoxList(boxes, factor);
}

void sweepImage(const fs::path& image, const scenetext::classifier::StumpCascade& model,
                scenetext::regions::CandidateMode mode, const fs::path& out,
                const std::vector<WordSplitting>& settings) {
  scenetext::Result<cv::Mat> loaded = scenetext::driver::loadColourImage(image.string());
  if (!loaded.ok()) throw std::runtime_error(loaded.status().message());
  const auto input = scenetext::driver::prepareWorkingInput(std::move(loaded).value());
  const auto detection = scenetext::driver::detectText(input.working, model, {}, mode);
  // detectText's own edge map, recomputed: the words read nothing else.
  const cv::Mat edges =
      scenetext::edges::detectEdges(input.working, scenetext::edges::kEdgeFraction);
  const std::string name = image.filename().string() + ".txt";
  writeBoxes(out / "lines" / name, detection.boxes, input.factor);
  for (const WordSplitting& setting : settings) {
    BoxList words;
    for (const BoxList& line : scenetext::regions::lineWords(edges, detection.boxes, setting)) {
      words.insert(words.end(), line.begin(), line.end());
    }
    writeBoxes(out / settingName(setting) / name, words, input.factor);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::cerr
        << "usage: scenetext-word-sweep MODEL exact|extended IMAGE_DIR OUT_DIR GAPS MARGINS\n";
    return 2;
  }
  auto model = scenetext::driver::loadModel(argv[1]);
  const auto mode = scenetext::regions::parseCandidateMode(argv[2]);
  if (!model.ok() || !mode) {
    std::cerr << "scenetext-word-sweep: bad model or mode\n";
    return 1;
  }
  std::vector<fs::path> images;
  for (const auto& entry : fs::directory_iterator(argv[3])) {
    if (entry.path().extension() == ".jpg") images.push_back(entry.path());
  }
  std::sort(images.begin(), images.end());
  const fs::path out = argv[4];
  std::vector<WordSplitting> settings;
  for (double gap : parseList(argv[5])) {
    for (double margin : parseList(argv[6])) settings.push_back({gap, margin});
  }
  fs::create_directories(out / "lines");
  for (const WordSplitting& s : settings) fs::create_directories(out / settingName(s));
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  auto worker = [&] {
    for (size_t i = next++; i < images.size(); i = next++) {
      try {
        sweepImage(images[i], *model, *mode, out, settings);
      } catch (const std::exception& e) {
        std::cerr << "scenetext-word-sweep: " << images[i] << ": " << e.what() << "\n";
        failed = true;
      }
    }
  };
  std::thread second(worker);
  worker();
  second.join();
  return failed ? 1 : 0;
}
