#pragma once

// The command-line conventions every scenetext executable shares, so that each main only declares
// its options:
//   --help       the help text on stdout, exit 0
//   --version    "TOOL VERSION" on stdout, exit 0
//   usage error  "TOOL: why" and "usage: TOOL SYNOPSIS   (see --help)" on stderr, exit 2
//   failure      "TOOL: why" on stderr after whatever stdout holds so far, exit 1 (an exception
//                that reaches the main included)
// Header-only: it is the mains' code, not the library's (the library never prints).

#include <CLI/CLI.hpp>
#include <opencv2/core.hpp>

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>

namespace scenetext {

// What a tool says about itself. Literals, so that a main can keep one as a namespace constant.
struct CommandLine {
  std::string_view tool;     // the executable's name, the first word of every stderr line
  std::string_view usage;    // the synopsis that follows the name: "MODEL IMAGE PREFIX"
  std::string_view version;  // "0.1.0"
};

// A usage error: the reason and the synopsis on stderr. Returns the exit status 2.
inline int usageError(const CommandLine& commandLine, std::string_view message) {
  std::cerr << commandLine.tool << ": " << message << "\n"
            << "usage: " << commandLine.tool << " " << commandLine.usage << "   (see --help)\n"
            << std::flush;
  return 2;
}

// Bad input or a failed run: one line on stderr. Returns the exit status 1.
inline int failure(const CommandLine& commandLine, std::string_view message) {
  // What stdout holds goes out first, so that on a shared terminal or file the message comes after
  // the output it cuts short.
  std::cout << std::flush;
  std::string line;
  line.append(commandLine.tool).append(": ").append(message).append("\n");
  // One write: a line that other threads' messages cannot split.
  std::cerr << line << std::flush;
  return 1;
}

// Runs `work`, a callable that returns the exit status; an exception it lets out becomes a failure.
template <typename Work>
int runReportingExceptions(const CommandLine& commandLine, Work&& work) {
  try {
    return work();
  } catch (const cv::Exception& error) {
    return failure(commandLine, "image library error: " + error.msg);
  } catch (const std::exception& error) {
    return failure(commandLine, std::string("error: ") + error.what());
  }
}

// Adds --version to `app` and parses the arguments. Returns the exit status when the run ends with
// the parse (0 after --help or --version, 2 after a usage error, each with its text printed), or
// nullopt when the options are set and the tool goes on.
inline std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv,
                                           const CommandLine& commandLine) {
  app.set_version_flag("--version", std::string(commandLine.version));
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // The help of the subcommand named, if one was.
    std::cout << app.help() << std::flush;
    return 0;
  } catch (const CLI::CallForVersion&) {
    std::cout << commandLine.tool << " " << commandLine.version << "\n" << std::flush;
    return 0;
  } catch (const CLI::ParseError& error) {
    return usageError(commandLine, error.what());
  }
  return std::nullopt;
}

}  // namespace scenetext
