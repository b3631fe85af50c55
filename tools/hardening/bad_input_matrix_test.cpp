// The bad-input matrix: the built executables against every kind of broken input people have on
// their disks. Each row pins the exit status, a fragment of the stderr message and what the output
// folder holds afterwards (nothing, for a refusal), and says why the input is accepted or refused.

#include <gtest/gtest.h>
#include <unistd.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/test_support.hpp"

namespace scenetext {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::runCommand;
using testing::ScratchFolder;
using testing::slurp;

const std::string kBinaryDir = SCENETEXT_BINARY_DIR;

struct Row {
  std::string name;
  std::string tool;                    // executable in the build folder
  std::vector<std::string> arguments;  // "{in}" and "{out}" stand for the two folders
  int exitCode;
  std::string message;               // a fragment of stderr; "{in}" and "{out}" as above
  std::vector<std::string> outputs;  // what the output folder holds afterwards, sorted
  std::string why;                   // accepted or refused, and why
  bool withoutRootOverride = false;  // run without root's right to read and write anything
};

std::ostream& operator<<(std::ostream& out, const Row& row) { return out << row.name; }

// The model every accepted row can run with: one stage over gradient stripes.
const std::string kModel = "stage 1\n1, 22, 1, 0.05, 1, 0\n@, -0.5\n#\n";

std::string bigEndian(uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16),
          static_cast<char>(value >> 8), static_cast<char>(value)};
}

// A PNG whose IHDR claims 30000 x 30000 pixels, followed by a few bytes of compressed zeros: a
// complete-looking decompression bomb of 60 bytes.
std::string pngBomb() {
  return "\x89PNG\r\n\x1A\n"s + bigEndian(13) + "IHDR" + bigEndian(30000) + bigEndian(30000) +
         "\x08\x02\x00\x00\x00"s + bigEndian(0) + bigEndian(8) + "IDAT" +
         "\x78\x9C\x63\x60\x00\x00\x00\x02"s + bigEndian(0) + bigEndian(0) + "IEND" + bigEndian(0);
}

// A JPEG whose baseline frame header claims 30000 x 30000 pixels.
std::string jpegBomb() {
  return "\xFF\xD8\xFF\xC0\x00\x11\x08"s + "\x75\x30\x75\x30" +
         "\x03\x01\x22\x00\x02\x11\x01\x03\x11\x01"s + "\xFF\xD9";
}

cv::Mat signPhoto() {
  cv::Mat image(64, 160, CV_8UC3, cv::Scalar(60, 110, 150));
  cv::rectangle(image, cv::Rect(12, 12, 136, 40), cv::Scalar(235, 235, 230), cv::FILLED);
  cv::putText(image, "OPEN 24", cv::Point(18, 44), cv::FONT_HERSHEY_SIMPLEX, 0.9,
              cv::Scalar(20, 20, 20), 2, cv::LINE_AA);
  return image;
}

std::string encode(const std::string& extension, const cv::Mat& image) {
  std::vector<uchar> bytes;
  cv::imencode(extension, image, bytes);
  return std::string(bytes.begin(), bytes.end());
}

std::string utf16(const std::string& ascii) {
  std::string wide = "\xFF\xFE";
  for (char c : ascii) wide += std::string{c, '\0'};
  return wide;
}

// Every input of every row, written into in/.
void writeInputs(const ScratchFolder& scratch) {
  fs::create_directories(scratch / "in");
  fs::create_directories(scratch / "out");
  auto write = [&](const std::string& name, const std::string& bytes) {
    fs::create_directories((scratch / ("in/" + name)).parent_path());
    scratch.write("in/" + name, bytes);
  };
  const std::string jpeg = encode(".jpg", signPhoto());
  const std::string png = encode(".png", signPhoto());
  const size_t scan = jpeg.find("\xFF\xDA");
  write("photo.jpg", jpeg);
  write("photo.png", png);
  write("zero.jpg", "");
  write("truncated-scan.jpg", jpeg.substr(0, scan + (jpeg.size() - scan) / 2));
  write("truncated-header.jpg", jpeg.substr(0, scan / 2));
  write("truncated.png", png.substr(0, png.size() / 2));
  write("text.jpg", "Dear all, the photos follow tomorrow.\n");
  write("bomb.png", pngBomb());
  write("bomb.jpg", jpegBomb());
  write("photo.xyz", png);
  cv::Mat grey;
  cv::cvtColor(signPhoto(), grey, cv::COLOR_BGR2GRAY);
  write("grey.pgm", encode(".pgm", grey));
  write("scan.dcm", std::string(128, '\0') + "DICM" + "\x02\x00\x00\x00UL\x04\x00"s);
  write("good.model", kModel);
  write("empty.model", "");
  write("no-terminator.model", "stage 1\n1, 22, 1, 0.05, 1, 0\n@, -0.5\n");
  write("crlf.model", "stage 1\r\n1, 22, 1, 0.05, 1, 0\r\n@, -0.5\r\n#\r\n");
  write("long-line.model",
        "stage 1\n1, 22, 1, 0.05, 1, " + std::string(9980, '7') + "\n@, -0.5\n#\n");
  write("nan.model", "stage 1\n1, 22, 1, nan, 1, 0\n@, -0.5\n#\n");
  write("inf.model", "stage 1\n1, 22, 1, 0.05, 1, 0\n@, -inf\n#\n");
  write("index-190.model", "stage 1\n1, 190, 1, 0.05, 1, 0\n@, -0.5\n#\n");
  write("gt/gt_1.txt", "12, 12, 147, 51, \"OPEN\"\n");
  write("det/1.jpg.txt", "12,12,147,51\n");
  write("gt-malformed/gt_1.txt", "12, 12, 147, 51, \"OPEN\"\n12, 12, 147, \"24\"\n");
  write("gt-utf16/gt_1.txt", utf16("12, 12, 147, 51, \"OPEN\"\r\n"));
  write("gt-unreadable/gt_1.txt", "12, 12, 147, 51, \"OPEN\"\n");
  fs::permissions(scratch / "in/gt-unreadable/gt_1.txt", fs::perms::none);
  fs::create_directories(scratch / "in/read-only");
  fs::permissions(scratch / "in/read-only", fs::perms::owner_read | fs::perms::owner_exec);
}

// clang-format off
const std::vector<Row> kRows = {
  // --- images
  {"MissingImage", "scenetext", {"{in}/good.model", "{in}/absent.jpg", "{out}/"}, 1,
   "cannot read image '{in}/absent.jpg': No such file or directory", {},
   "refuse: there is nothing to detect in"},
  {"ZeroByteImage", "scenetext", {"{in}/good.model", "{in}/zero.jpg", "{out}/"}, 1,
   "cannot read image '{in}/zero.jpg': not a readable image", {},
   "refuse: an empty file holds no image"},
  {"TruncatedJpegInItsScan", "scenetext", {"{in}/good.model", "{in}/truncated-scan.jpg", "{out}/"}, 0,
   "Premature end of JPEG file", {"truncated-scan.jpg", "truncated-scan.jpg.txt"},
   "accept: a half-downloaded JPEG still holds the top of the photo, which the decoder gives "
   "whole (the rest grey, where no text is found), as every viewer shows it; libjpeg names the "
   "damage on stderr"},
  {"TruncatedJpegInItsHeader", "scenetext", {"{in}/good.model", "{in}/truncated-header.jpg", "{out}/"}, 1,
   "cannot read image '{in}/truncated-header.jpg': not a readable image", {},
   "refuse: without its tables not a pixel can be decoded"},
  {"TruncatedPng", "scenetext", {"{in}/good.model", "{in}/truncated.png", "{out}/"}, 1,
   "cannot read image '{in}/truncated.png': not a readable image", {},
   "refuse: libpng gives no partial image, and an image with rows missing would be scored as "
   "if whole"},
  {"TextFileNamedJpg", "scenetext", {"{in}/good.model", "{in}/text.jpg", "{out}/"}, 1,
   "cannot read image '{in}/text.jpg': not a readable image", {},
   "refuse: the content decides, not the name, and this is text"},
  {"PngHeaderClaiming30000x30000", "scenetext", {"{in}/good.model", "{in}/bomb.png", "{out}/"}, 1,
   "cannot read image '{in}/bomb.png': 30000x30000 pixels exceed the limit of 200000000", {},
   "refuse: a decompression bomb; decoding it would take 2.7 GB before the first stage"},
  {"JpegHeaderClaiming30000x30000", "scenetext", {"{in}/good.model", "{in}/bomb.jpg", "{out}/"}, 1,
   "cannot read image '{in}/bomb.jpg': 30000x30000 pixels exceed the limit of 200000000", {},
   "refuse: as the PNG bomb, found in the frame header"},
  {"DicomFileCutShort", "scenetext", {"{in}/good.model", "{in}/scan.dcm", "{out}/"}, 1,
   "cannot read image '{in}/scan.dcm': a DICOM file, which is not read", {},
   "refuse: OpenCV's DICOM decoder (GDCM) ends the whole process with a failed assertion on a "
   "damaged file, and a medical scan is no photograph of a scene"},
  {"ImageIsAFolder", "scenetext", {"{in}/good.model", "{in}/gt", "{out}/"}, 1,
   "cannot read image '{in}/gt': not a readable image", {},
   "refuse: a folder is no image (scenetext-batch is the tool for folders)"},
  // --- outputs
  {"UnknownOutputExtension", "scenetext", {"{in}/good.model", "{in}/photo.xyz", "{out}/"}, 1,
   "cannot write '{out}/photo.xyz': no image encoder for '.xyz'", {},
   "refuse: the result is encoded by its name's extension; another encoding under this name "
   "would lie about the content (the PNG inside is read fine)"},
  {"GreyOnlyOutputFormat", "scenetext", {"{in}/good.model", "{in}/grey.pgm", "{out}/"}, 1,
   "cannot write '{out}/grey.pgm': the .pgm encoder refused the image (Portable bitmap(.pgm) "
   "expects gray image)", {},
   "refuse: the result is tinted cyan, which a .pgm cannot hold; writing it grey would drop the "
   "very marks the run is for (the .pgm is read fine)"},
  {"PrefixInAMissingFolder", "scenetext", {"{in}/good.model", "{in}/photo.png", "{out}/missing/"}, 1,
   "cannot write '{out}/missing/photo.png': No such file or directory", {},
   "refuse: the prefix is plain text; creating folders from a mistyped prefix would scatter "
   "results"},
  {"PrefixUnderAFile", "scenetext", {"{in}/good.model", "{in}/photo.png", "{in}/good.model/"}, 1,
   "cannot write '{in}/good.model/photo.png': Not a directory", {},
   "refuse: nothing can be written there"},
  {"PrefixInAReadOnlyFolder", "scenetext", {"{in}/good.model", "{in}/photo.png", "{in}/read-only/"}, 1,
   "cannot write '{in}/read-only/photo.png': Permission denied", {},
   "refuse: nothing can be written there", true},
  // --- models
  {"MissingModel", "scenetext", {"{in}/absent.model", "{in}/photo.png", "{out}/"}, 1,
   "cannot read model '{in}/absent.model': No such file or directory", {},
   "refuse: no classifier, no detection"},
  {"EmptyModel", "scenetext", {"{in}/empty.model", "{in}/photo.png", "{out}/"}, 1,
   "{in}/empty.model:1: the file ends before its \"#\" terminator line", {},
   "refuse: an empty file is no model (the smallest model is \"#\" alone)"},
  {"ModelWithoutTerminator", "scenetext", {"{in}/no-terminator.model", "{in}/photo.png", "{out}/"}, 1,
   "{in}/no-terminator.model:4: the file ends before its \"#\" terminator line", {},
   "refuse: a model cut short may have lost whole stages, and would accept too much"},
  {"CrlfModel", "scenetext", {"{in}/crlf.model", "{in}/photo.png", "{out}/"}, 0,
   "", {"photo.png", "photo.png.txt"},
   "accept: a model saved by a Windows editor means the same; the loader drops the \\r"},
  {"ModelLineOf10000Characters", "scenetext", {"{in}/long-line.model", "{in}/photo.png", "{out}/"}, 0,
   "", {"photo.png", "photo.png.txt"},
   "accept: the loader reads a line whole, whatever its length, so its fields are those of a "
   "short line (a fixed 200-byte line buffer would have cut it into two garbled lines)"},
  {"NanThreshold", "scenetext", {"{in}/nan.model", "{in}/photo.png", "{out}/"}, 0,
   "", {"photo.png", "photo.png.txt"},
   "accept: numbers read as C's atof, which reads nan; the evaluation defines it (a feature is "
   "never >= NaN, so the stump never fires) and the trainer's files keep it bit for bit"},
  {"InfiniteStageThreshold", "scenetext", {"{in}/inf.model", "{in}/photo.png", "{out}/"}, 0,
   "", {"photo.png", "photo.png.txt"},
   "accept: -inf makes a stage that passes everything, +inf one that rejects everything; both "
   "are well defined and a trainer may mean them"},
  {"FeatureIndexOutOfRange", "scenetext", {"{in}/index-190.model", "{in}/photo.png", "{out}/"}, 1,
   "{in}/index-190.model:2: feature index 190 is outside 0..189", {},
   "refuse: the evaluation would read past the 190 features"},
  // --- arguments
  {"FewerArgumentsThanNeeded", "scenetext", {"{in}/good.model", "{in}/photo.png"}, 2,
   "scenetext: prefix is required\nusage: scenetext ", {}, "refuse: usage error"},
  {"NoArguments", "scenetext", {}, 2, "scenetext: model is required\nusage: scenetext ", {},
   "refuse: usage error"},
  {"MoreArgumentsThanNeeded", "scenetext", {"{in}/good.model", "{in}/photo.png", "{out}/", "x"}, 2,
   "The following argument was not expected: x", {}, "refuse: usage error"},
  // --- evaluation
  {"EvaluationOfGoodFiles", "scenetext-eval", {"{in}/gt", "{in}/det", "--csv", "{out}/table.csv"}, 0,
   "", {"table.csv"}, "accept: the control row, so that the refusals below are of the files"},
  {"UnreadableGroundTruth", "scenetext-eval", {"{in}/gt-unreadable", "{in}/det", "--csv", "{out}/table.csv"}, 1,
   "cannot read '{in}/gt-unreadable/gt_1.txt': Permission denied", {},
   "refuse: scoring without the file would score a different set", true},
  {"GroundTruthWithAMalformedLine", "scenetext-eval", {"{in}/gt-malformed", "{in}/det", "--csv", "{out}/table.csv"}, 1,
   "{in}/gt-malformed/gt_1.txt:2: expected 4 coordinates (left top right bottom) before the word, found 3", {},
   "refuse: skipping the line would silently drop a word and raise the recall"},
  {"GroundTruthInUtf16", "scenetext-eval", {"{in}/gt-utf16", "{in}/det", "--csv", "{out}/table.csv"}, 1,
   "{in}/gt-utf16/gt_1.txt:1: expected an integer", {},
   "refuse: an export in UTF-16 is named at its first line, rather than read as no words"},
  {"EvaluationWithFewerArguments", "scenetext-eval", {"{in}/gt"}, 2,
   "usage: scenetext-eval GT_DIR DET_DIR", {}, "refuse: usage error"},
};
// clang-format on

std::string expand(std::string text, const ScratchFolder& scratch) {
  for (const auto& [token, folder] : {std::pair{"{in}"s, "in"s}, std::pair{"{out}"s, "out"s}}) {
    for (size_t at; (at = text.find(token)) != std::string::npos;) {
      text.replace(at, token.size(), (scratch / folder).string());
    }
  }
  return text;
}

std::vector<std::string> folderListing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    names.push_back(fs::relative(entry.path(), folder).string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Root reads and writes whatever the permission bits say; the permission rows drop that right
// (CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH) for the command they run.
bool canDropRootOverride() {
  return ::geteuid() != 0 || std::system("setpriv --help >/dev/null 2>&1") == 0;
}

class BadInputMatrix : public ::testing::TestWithParam<Row> {
 protected:
  BadInputMatrix() : scratch_("matrix-" + GetParam().name) { writeInputs(scratch_); }
  ~BadInputMatrix() override {
    // Give the folders back their rights, so that the scratch folder can be removed.
    fs::permissions(scratch_ / "in/read-only", fs::perms::owner_all);
    fs::permissions(scratch_ / "in/gt-unreadable/gt_1.txt", fs::perms::owner_all);
  }
  ScratchFolder scratch_;
};

TEST_P(BadInputMatrix, ExitStatusMessageAndNothingLeftBehind) {
  const Row& row = GetParam();
  std::vector<std::string> arguments;
  for (const std::string& argument : row.arguments) arguments.push_back(expand(argument, scratch_));
  std::string program = kBinaryDir + "/" + row.tool;
  if (row.withoutRootOverride && ::geteuid() == 0) {
    if (!canDropRootOverride()) GTEST_SKIP() << "setpriv is needed to run without root's override";
    arguments.insert(arguments.begin(),
                     {"--bounding-set", "-dac_override,-dac_read_search", program});
    program = "setpriv";
  }
  const std::vector<std::string> inputsBefore = folderListing(scratch_ / "in");
  const std::string photoBefore = slurp(scratch_ / "in/photo.png");

  const testing::CommandResult result = runCommand(program, arguments, scratch_.path());

  EXPECT_EQ(result.exitCode, row.exitCode) << row.why << "\nstderr: " << result.err;
  if (row.exitCode == 0 && row.message.empty()) {
    EXPECT_EQ(result.err, "") << row.why;
  } else {
    EXPECT_NE(result.err.find(expand(row.message, scratch_)), std::string::npos)
        << row.why << "\nstderr: " << result.err;
  }
  if (row.exitCode != 0) {
    // One line names the problem (usage errors add the usage line); no half-finished report.
    EXPECT_EQ(result.out.find("Done!"), std::string::npos) << result.out;
  }
  EXPECT_EQ(folderListing(scratch_ / "out"), row.outputs) << row.why;
  EXPECT_EQ(folderListing(scratch_ / "in"), inputsBefore)
      << "something was written beside the inputs";
  EXPECT_EQ(slurp(scratch_ / "in/photo.png"), photoBefore);
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInputMatrix, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace
}  // namespace scenetext
