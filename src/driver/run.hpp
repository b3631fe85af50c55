#pragma once

// The run sequence of one detection: model, image, preparation, edges, regions, results.
// Each step is a function of its own so that the batch, inspection and training tools run
// exactly the same stages as the single-image command.

#include <opencv2/core.hpp>

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "classifier/stump_cascade.hpp"
#include "common/box_list.hpp"
#include "common/status.hpp"
#include "driver/json_output.hpp"
#include "driver/result_output.hpp"
#include "io/box_files.hpp"
#include "regions/candidate_modes.hpp"

namespace scenetext::driver {

// What a run writes besides the annotated image and the four-field box list.
struct ExtraOutputs {
  double minScore = 0.0;  // lines scoring below this are left out of every output
  bool scores = false;    // the box list gets the score as a fifth field
  bool json = false;      // also OutputPaths::json (see json_output.hpp)
  bool words = false;     // the box list holds one box per word instead of one per line
  std::string modelPath;  // named in the JSON
};

struct RunArguments {
  std::string modelPath;
  std::string imagePath;
  std::string outputPrefix;  // a plain text prefix: "results/" writes into that folder
  regions::CandidateMode candidates = regions::CandidateMode::kExact;
  ExtraOutputs extras;
};

struct OutputPaths {
  std::string image;    // prefix + base name of the image argument
  std::string boxList;  // image + ".txt"
  std::string json;     // image + ".json", written only when asked for
};

// The part of the image argument after its last backslash, else after its last slash, else the
// whole argument: a backslash anywhere wins, so "a/b\d/e.jpg" gives "d/e.jpg".
std::string baseName(const std::string& imageArgument);
OutputPaths outputPaths(const std::string& outputPrefix, const std::string& imageArgument);

// The model as the run loads it: emptied, then filled from the file.
Result<classifier::StumpCascade> loadModel(const std::string& path);

// The candidate mode a model file names in its first header line ("... candidates: extended ..."),
// if any. The loader ignores header content, so this is advice for a warning, never a failure.
std::optional<regions::CandidateMode> modelCandidateMode(const std::string& path);

// "model 'PATH' was trained for --candidates X; running with --candidates Y" when the model names
// another mode than `mode`; empty otherwise.
std::string candidateModeMismatch(const std::string& modelPath, regions::CandidateMode mode);

// The image as stored, 8-bit BGR, no EXIF rotation. Fails with "cannot read image 'PATH': why".
Result<cv::Mat> loadColourImage(const std::string& path);

struct WorkingInput {
  cv::Mat input;    // the image as loaded
  cv::Mat working;  // padded to a width that is a multiple of 4, reduced by `factor`
  int factor = 1;   // 1, 2 or 4: coordinates of `working` times this are input coordinates
};

WorkingInput prepareWorkingInput(cv::Mat input);

struct Detection {
  BoxList boxes;               // final text regions in WorkingImage coordinates
  std::vector<double> scores;  // one per box, in [0.5, 1] (regions::textLines)
  std::vector<BoxList> words;  // one list per box, left to right (regions::lineWords)
  cv::Mat textMask;            // CV_8UC1, 255 where an accepted candidate lay
  cv::Mat boxMask;             // CV_8UC1, 255 inside every final box
};

// Called after each step of a detection; a progress display counts the calls.
using StepObserver = std::function<void()>;

// Edges and regions of the WorkingImage. `observer` is called four times: after the edge map,
// after the candidate rectangles, after their classification and after the final boxes.
Detection detectText(const cv::Mat& working, const classifier::StumpCascade& model,
                     const StepObserver& observer = {},
                     regions::CandidateMode candidates = regions::CandidateMode::kExact);

// The detection with only the lines whose score, rounded to six decimals as shown, is at least
// `minScore`, order kept, and the BoxMask of those. A `minScore` of 0 or less keeps every line.
Detection keepLinesScoring(Detection detection, double minScore);

// The final lines in input-image coordinates: each box and its words times the reduction factor,
// its score rounded to six decimals (what every output shows).
std::vector<io::InputLine> inputLines(const Detection& detection, int factor);

// Renders and writes the results, all or nothing: the annotated image, the box list (with scores
// when asked for) and, when asked for, `report` as JSON.
Status writeResults(const OutputPaths& paths, const WorkingInput& input, const Detection& detection,
                    const ExtraOutputs& extras, const ImageReport& report);

struct FileDetection {
  OutputPaths paths;
  ImageReport report;
};

// Detects the text of one image file and writes the results under `outputPrefix`. `observer` is
// called four times on success (detectText). Refuses to write over the image it reads.
Result<FileDetection> detectFile(const classifier::StumpCascade& model,
                                 const std::string& imagePath, const std::string& outputPrefix,
                                 const StepObserver& observer = {},
                                 regions::CandidateMode candidates = regions::CandidateMode::kExact,
                                 const ExtraOutputs& extras = {});

// The whole run: progress marks and the output paths on `console` (the JSON's last, when asked
// for), exactly as the command prints them. Returns the failure that stopped it; nothing is written
// after a failure.
Status runSequence(const RunArguments& arguments, std::ostream& console);

}  // namespace scenetext::driver
