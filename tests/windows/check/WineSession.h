// One wine prefix and one Xvfb server for all checks of the Windows build,
// set up when the test program starts and removed when it ends.
#pragma once

#include <string>
#include <vector>

namespace wintest {

struct RunResult {
  int status = -1;    // the program's exit status
  std::string output; // its standard output
};

// Runs a program of the cross build under wine64 (through winerun.sh), with
// standard error passed on to ours. Paths in args are passed as given; use
// windowsPath for files the program opens.
RunResult runWindows(const std::string& program, const std::vector<std::string>& args);

// Runs a Linux program, capturing its standard output.
RunResult runLinux(const std::string& program, const std::vector<std::string>& args);

// A Unix path as a Windows program sees it (drive Z: is the root).
std::string windowsPath(const std::string& unixPath);

// A directory for files of this run, removed at the end.
const std::string& scratchDir();

// The cross build's files.
std::string win64File(const std::string& relative);

// Reads a whole file; empty when it cannot.
std::string readFile(const std::string& path);

// Splits text into lines (no line ends).
std::vector<std::string> lines(const std::string& text);

} // namespace wintest
