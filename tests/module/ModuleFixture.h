// Loads the built module by path, the way a host does.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "vsthost/vsthost.h"

// Parameter indices as a host knows them from the parameter names.
enum ParamIndex : VstInt32 {
  kInputLevelIndex = 0,
  kOutputLevelIndex,
  kHiBoostIndex,
  kHiCutIndex,
  kHiBoostFreqIndex,
  kHiCutFreqIndex,
  kHiFreqQIndex,
  kLoBoostIndex,
  kLoCutIndex,
  kLoFreqIndex,
  kTubeBufferIndex,
  kEqualizerIndex,
  kModeIndex,
  kParamCount
};

inline const vsthost::Module& builtModule() {
  static std::unique_ptr<vsthost::Module> module = [] {
    // OMBRINE_TEST_MODULE points the tests at another build, e.g. to measure an older one.
    const char* other = std::getenv("OMBRINE_TEST_MODULE");
    const std::string path = other && *other ? other : OMBRINE_MODULE_PATH;
    std::string error;
    auto m = vsthost::Module::load(path, &error);
    if (!m) ADD_FAILURE() << "cannot load " << path << ": " << error;
    return m;
  }();
  return *module;
}

class ModuleTest : public ::testing::Test {
protected:
  void SetUp() override {
    plugin = std::make_unique<vsthost::Plugin>(builtModule());
    ASSERT_TRUE(plugin->valid());
  }
  std::unique_ptr<vsthost::Plugin> plugin;
};

// Splits captured output into lines.
inline std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Stereo buffers for one block.
template <typename Sample> struct StereoBlock {
  explicit StereoBlock(std::size_t frames) : in(2, std::vector<Sample>(frames)), out(in) {}
  Sample** inputs() {
    inPtr[0] = in[0].data();
    inPtr[1] = in[1].data();
    return inPtr;
  }
  Sample** outputs() {
    outPtr[0] = out[0].data();
    outPtr[1] = out[1].data();
    return outPtr;
  }
  std::vector<std::vector<Sample>> in, out;
  Sample* inPtr[2] = {};
  Sample* outPtr[2] = {};
};
