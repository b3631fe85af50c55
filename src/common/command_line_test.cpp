#include "common/command_line.hpp"

#include <gtest/gtest.h>

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace scenetext {
namespace {

constexpr CommandLine kJoin{"join", "FIRST SECOND [--times N]", "9.8.7"};
constexpr char kUsageLine[] = "usage: join FIRST SECOND [--times N]   (see --help)\n";

// What a call printed on stdout and stderr, taken from std::cout and std::cerr while it runs.
struct Printed {
  std::string out;
  std::string err;
};

// Points a stream at a string for its lifetime, and back at its own buffer after, even when the
// call under test throws.
class Redirect {
 public:
  explicit Redirect(std::ostream& stream) : stream_(stream), old_(stream.rdbuf(text_.rdbuf())) {}
  ~Redirect() { stream_.rdbuf(old_); }
  std::string text() const { return text_.str(); }

 private:
  std::ostream& stream_;
  std::ostringstream text_;
  std::streambuf* old_;
};

template <typename Call>
Printed capture(Call call) {
  Redirect out(std::cout), err(std::cerr);
  call();
  return {out.text(), err.text()};
}

struct Parsed {
  std::optional<int> status;
  Printed printed;
  std::string first, second;
  int times = 1;
};

// A tool with two required positionals and a validated option, run on `arguments`.
Parsed parseJoin(std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), "join");
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  Parsed parsed;
  CLI::App app{"Joins two words.", std::string(kJoin.tool)};
  app.add_option("first", parsed.first)->required();
  app.add_option("second", parsed.second)->required();
  app.add_option("--times", parsed.times, "Repeats")->check(CLI::Range(1, 9));
  parsed.printed = capture([&] {
    parsed.status = parseCommandLine(app, static_cast<int>(argv.size()), argv.data(), kJoin);
  });
  return parsed;
}

TEST(ParseCommandLine, HelpAndVersionEndTheRunOnStdout) {
  // --version wins over the missing positionals, as --help does.
  const Parsed version = parseJoin({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.printed.out, "join 9.8.7\n");
  EXPECT_EQ(version.printed.err, "");

  const Parsed help = parseJoin({"a", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.printed.out.find("Joins two words."), std::string::npos) << help.printed.out;
  EXPECT_NE(help.printed.out.find("--version"), std::string::npos) << "the flag is listed";
  EXPECT_EQ(help.printed.err, "");
}

TEST(ParseCommandLine, UsageErrorsPrintTheReasonAndTheSynopsis) {
  struct Row {
    std::vector<std::string> arguments;
    std::string reason;  // the start of the first stderr line, after "join: "
  };
  const Row rows[] = {
      {{}, "first is required"},
      {{"a"}, "second is required"},
      {{"a", "b", "c"}, "The following argument was not expected: c"},
      {{"a", "b", "--times", "0"}, "--times"},
      {{"a", "b", "--bogus"}, "The following argument was not expected: --bogus"},
  };
  for (const Row& row : rows) {
    const Parsed parsed = parseJoin(row.arguments);
    const std::string& err = parsed.printed.err;
    EXPECT_EQ(parsed.status, 2) << err;
    EXPECT_EQ(parsed.printed.out, "");
    EXPECT_EQ(err.rfind("join: " + row.reason, 0), 0u) << err;
    const size_t usageAt = err.find('\n') + 1;
    EXPECT_EQ(err.substr(usageAt), kUsageLine) << "one reason line, then the usage line:\n" << err;
  }
}

TEST(ParseCommandLine, GoesOnSilentlyWhenTheArgumentsAreGood) {
  const Parsed parsed = parseJoin({"a", "b", "--times", "3"});
  EXPECT_EQ(parsed.status, std::nullopt);
  EXPECT_EQ(parsed.printed.out, "");
  EXPECT_EQ(parsed.printed.err, "");
  EXPECT_EQ(parsed.first + parsed.second + std::to_string(parsed.times), "ab3");
}

TEST(ParseCommandLine, HelpAfterASubcommandIsTheSubcommandsHelp) {
  CLI::App app{"Looks inside.", "look"};
  app.require_subcommand(1);
  std::string image;
  app.add_subcommand("edges", "Writes the edge map")
      ->add_option("image", image, "Input image")
      ->required();
  const char* const argv[] = {"look", "edges", "--help"};
  std::optional<int> status;
  const Printed printed = capture([&] { status = parseCommandLine(app, 3, argv, kJoin); });
  EXPECT_EQ(status, 0);
  EXPECT_NE(printed.out.find("Writes the edge map"), std::string::npos) << printed.out;
  EXPECT_EQ(printed.out.find("Looks inside."), std::string::npos) << printed.out;
}

TEST(CommandLineMessages, FailureIsOneLineAndExitOne) {
  int status = -1;
  const Printed printed = capture([&] { status = failure(kJoin, "cannot read 'x.txt'"); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(printed.out, "");
  EXPECT_EQ(printed.err, "join: cannot read 'x.txt'\n");

  const Printed usage = capture([&] { status = usageError(kJoin, "nothing to do"); });
  EXPECT_EQ(status, 2);
  EXPECT_EQ(usage.err, "join: nothing to do\n" + std::string(kUsageLine));
}

TEST(CommandLineMessages, ExceptionsThatReachTheMainAreFailures) {
  int status = -1;
  const cv::Exception imageError(cv::Error::StsBadArg, "no pixels", "resize", "resize.cpp", 7);
  Printed printed =
      capture([&] { status = runReportingExceptions(kJoin, [&]() -> int { throw imageError; }); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(printed.err, "join: image library error: " + imageError.msg + "\n");

  printed = capture([&] {
    status = runReportingExceptions(kJoin, []() -> int { throw std::runtime_error("disk full"); });
  });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(printed.err, "join: error: disk full\n");

  printed = capture([&] { status = runReportingExceptions(kJoin, [] { return 2; }); });
  EXPECT_EQ(status, 2) << "the work's own status passes through";
  EXPECT_EQ(printed.err, "");
}

}  // namespace
}  // namespace scenetext
