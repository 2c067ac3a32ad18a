// What the tests of the command-line tools share: a scratch directory, reading a file back, and
// running a built executable with its output captured.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tooltest {

// A fresh directory under /tmp, removed with everything in it.
class ScratchDir {
public:
  explicit ScratchDir(const std::string& prefix = "ombrine-test") {
    std::string pattern = "/tmp/" + prefix + "-XXXXXX";
    if (const char* made = mkdtemp(pattern.data())) path = made;
  }
  ~ScratchDir() {
    if (!path.empty()) std::system(("rm -rf '" + path + "'").c_str());
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(const std::string& name) const { return path + "/" + name; }
  // Every name in the directory, hidden ones included.
  std::set<std::string> list() const {
    std::set<std::string> names;
    if (DIR* d = opendir(path.c_str())) {
      while (dirent* e = readdir(d))
        if (std::string n = e->d_name; n != "." && n != "..") names.insert(n);
      closedir(d);
    }
    return names;
  }
  std::string path;
};

inline std::string readText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs a program with the arguments; its output is captured in files outside any scratch
// directory, so that they do not show in its listing.
inline RunResult runProgram(const std::string& program, const std::vector<std::string>& args) {
  static int serial = 0;
  const std::string base =
      "/tmp/ombrine-tool-run-" + std::to_string(getpid()) + "-" + std::to_string(serial++);
  std::string command = quote(program);
  for (const auto& a : args)
    command += " " + quote(a);
  command += " >" + base + ".out 2>" + base + ".err </dev/null";
  RunResult r;
  const int status = std::system(command.c_str());
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = readText(base + ".out");
  r.err = readText(base + ".err");
  std::remove((base + ".out").c_str());
  std::remove((base + ".err").c_str());
  return r;
}

} // namespace tooltest
