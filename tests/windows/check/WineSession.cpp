#include "check/WineSession.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace wintest {
namespace {

std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'')
      q += "'\\''";
    else
      q += c;
  }
  return q + "'";
}

RunResult runCommand(const std::string& command) {
  RunResult result;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[65536];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

// The shared prefix and X server.
class WineEnvironment : public ::testing::Environment {
public:
  void SetUp() override {
    char prefixTemplate[] = "/tmp/ombrine-wine-XXXXXX";
    ASSERT_NE(mkdtemp(prefixTemplate), nullptr);
    prefix = prefixTemplate;
    char scratchTemplate[] = "/tmp/ombrine-wintest-XXXXXX";
    ASSERT_NE(mkdtemp(scratchTemplate), nullptr);
    scratch = scratchTemplate;
    setenv("WINEPREFIX", prefix.c_str(), 1);
    startXvfb();
    // The first program run creates the prefix; do it here so that no single
    // check carries that time.
    const RunResult boot = runWindows("cmd", {"/c", "exit"});
    ASSERT_EQ(boot.status, 0) << "wine prefix set-up failed";
  }

  void TearDown() override {
    if (!prefix.empty()) {
      runCommand("WINEPREFIX=" + quote(prefix) + " /usr/lib/wine/wineserver64 -k >/dev/null 2>&1");
      runCommand("WINEPREFIX=" + quote(prefix) + " /usr/lib/wine/wineserver64 -w >/dev/null 2>&1");
      std::error_code ignored;
      std::filesystem::remove_all(prefix, ignored);
    }
    if (!scratch.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(scratch, ignored);
    }
    if (xvfb > 0) {
      kill(xvfb, SIGTERM);
      waitpid(xvfb, nullptr, 0);
    }
  }

  std::string scratch;

private:
  // Xvfb picks a free display itself and writes its number to the pipe when it is ready.
  void startXvfb() {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    xvfb = fork();
    ASSERT_GE(xvfb, 0);
    if (xvfb == 0) {
      const int null = open("/dev/null", O_RDWR);
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
      close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      execl(OMBRINE_XVFB, "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24",
            "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    while (poll(&p, 1, 10000) > 0) {
      char c = 0;
      if (read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    close(fds[0]);
    ASSERT_FALSE(number.empty()) << "Xvfb did not start";
    const std::string display = ":" + number;
    setenv("DISPLAY", display.c_str(), 1);
  }

  std::string prefix;
  pid_t xvfb = -1;
};

WineEnvironment* environment =
    static_cast<WineEnvironment*>(::testing::AddGlobalTestEnvironment(new WineEnvironment));

} // namespace

RunResult runWindows(const std::string& program, const std::vector<std::string>& args) {
  std::string command = quote(OMBRINE_WINERUN) + " " + quote(program);
  for (const auto& a : args)
    command += " " + quote(a);
  return runCommand(command);
}

RunResult runLinux(const std::string& program, const std::vector<std::string>& args) {
  std::string command = quote(program);
  for (const auto& a : args)
    command += " " + quote(a);
  return runCommand(command);
}

std::string windowsPath(const std::string& unixPath) { return "Z:" + unixPath; }

const std::string& scratchDir() { return environment->scratch; }

std::string win64File(const std::string& relative) {
  return std::string(OMBRINE_WIN64_DIR) + "/" + relative;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line))
    out.push_back(line);
  return out;
}

} // namespace wintest
