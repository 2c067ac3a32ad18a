// Parameters, program and identity strings as a host reads them.
#include "module/ModuleFixture.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

namespace {

struct ParameterRow {
  VstInt32 index;
  const char* name;
  const char* label;
  const char* initialDisplay;
  float initialValue;
};

const ParameterRow kTable[] = {
    {0, "Input level", "db", "0.000000", 0.5f}, {1, "Output level", "db", "0.000000", 0.5f},
    {2, "Hi Boost", "x", "0.000000", 0.0f},     {3, "Hi Cut", "x", "0.000000", 0.0f},
    {4, "Hi Boost Freq.", "KHz", "6", 0.5f},    {5, "Hi Cut Freq.", "KHz", "20", 1.0f},
    {6, "Hi Freq. Q", "", "0.500000", 0.5f},    {7, "Lo Boost", "x", "0.000000", 0.0f},
    {8, "Lo Cut", "x", "0.000000", 0.0f},       {9, "Lo Freq", "Hz", "20", 0.0f},
    {10, "Tube Buffer", "", "On", 1.0f},        {11, "Equalizer", "", "On", 1.0f},
    {12, "Mode", "", "Stereo", 1.0f},
};

struct DisplayCase {
  VstInt32 index;
  float value;
  const char* display;
};

// Displays at the edges of each range and at the step boundaries.
const DisplayCase kDisplays[] = {
    {0, 0.0f, "-18.000000"},
    {0, 1.0f, "18.000000"},
    {1, 0.25f, "-9.000000"},
    {2, 1.0f, "1.000000"},
    {3, 0.25f, "0.250000"},
    {6, 0.0f, "0.000000"},
    {4, 0.0f, "3"},
    {4, 0.142f, "3"},
    {4, 0.143f, "4"},
    {4, 0.999f, "16"},
    {4, 1.0f, "16"},
    {5, 0.0f, "5"},
    {5, 0.1666f, "5"},
    {5, 0.999f, "20"},
    {5, 1.0f, "20"},
    {9, 0.5f, "60"},
    {9, 1.0f, "150"},
    {9, 0.17f, "30"},
    {10, 0.0f, "Off"},
    {10, 0.49f, "Off"},
    {10, 0.5f, "On"},
    {11, 0.5f, "On"},
    {12, 0.49f, "Mono"},
    {12, 0.5f, "Stereo"},
    {9, -0.5f, "20"},
    {9, 7.0f, "150"},
    {12, -1.0f, "Mono"},
    {4, std::numeric_limits<float>::quiet_NaN(), "3"},
    {4, std::numeric_limits<float>::infinity(), "16"},
    {4, -std::numeric_limits<float>::infinity(), "3"},
};

} // namespace

TEST_F(ModuleTest, ParameterTableAtInit) {
  for (const auto& row : kTable) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(plugin->parameterName(row.index), row.name);
    EXPECT_EQ(plugin->parameterLabel(row.index), row.label);
    EXPECT_EQ(plugin->parameterDisplay(row.index), row.initialDisplay);
    EXPECT_EQ(plugin->getParameter(row.index), row.initialValue);
  }
}

TEST_F(ModuleTest, DisplaysAtEdgeValues) {
  for (const auto& c : kDisplays) {
    plugin->setParameter(c.index, c.value);
    EXPECT_EQ(plugin->parameterDisplay(c.index), c.display)
        << "parameter " << c.index << " at " << c.value;
  }
}

TEST_F(ModuleTest, GetParameterReturnsWhatWasSet) {
  for (VstInt32 i = 0; i < kParamCount; ++i) {
    for (float v : {0.0f, 0.123456789f, 0.5f, 0.999f, 1.0f}) {
      plugin->setParameter(i, v);
      EXPECT_EQ(plugin->getParameter(i), v);
    }
  }
}

TEST_F(ModuleTest, OutOfRangeIndicesTouchNothing) {
  for (VstInt32 i : {-1, 13, 14, 1000, std::numeric_limits<VstInt32>::min(),
                     std::numeric_limits<VstInt32>::max()}) {
    plugin->setParameter(i, 0.25f);
    EXPECT_EQ(plugin->getParameter(i), 0.0f);
    EXPECT_EQ(plugin->parameterName(i), "");
    EXPECT_EQ(plugin->parameterLabel(i), "");
    EXPECT_EQ(plugin->parameterDisplay(i), "");
  }
  for (const auto& row : kTable)
    EXPECT_EQ(plugin->getParameter(row.index), row.initialValue);
}

TEST_F(ModuleTest, TextsNeverRunPastTheirLength) {
  // A host buffer pre-filled with a marker: every text ends with one
  // terminator and leaves the rest of the buffer alone.
  for (VstInt32 op : {effGetParamName, effGetParamLabel, effGetParamDisplay}) {
    for (VstInt32 i = 0; i < kParamCount; ++i) {
      char buffer[64];
      std::memset(buffer, '#', sizeof(buffer));
      plugin->dispatch(op, i, 0, buffer);
      const std::size_t len = strnlen(buffer, sizeof(buffer));
      ASSERT_LT(len, 15u) << "opcode " << op << " index " << i;
      EXPECT_EQ(buffer[len + 1], '#');
    }
  }
  // A huge value gives a long "%f" text, still bounded.
  plugin->setParameter(kHiBoostIndex, 1e30f);
  char buffer[64];
  std::memset(buffer, '#', sizeof(buffer));
  plugin->dispatch(effGetParamDisplay, kHiBoostIndex, 0, buffer);
  EXPECT_LT(strnlen(buffer, sizeof(buffer)), 24u);
}

TEST_F(ModuleTest, ProgramName) {
  EXPECT_EQ(plugin->programName(), "Init 1");
  std::string bright = "Bright";
  plugin->dispatch(effSetProgramName, 0, 0, bright.data());
  EXPECT_EQ(plugin->programName(), "Bright");
  std::string init = "Init";
  plugin->dispatch(effSetProgramName, 0, 0, init.data());
  EXPECT_EQ(plugin->programName(), "Init 1");
}

TEST_F(ModuleTest, LongProgramNameIsCutTo23Characters) {
  std::string name(200, 'x');
  name += "tail";
  plugin->dispatch(effSetProgramName, 0, 0, name.data());
  char buffer[64];
  std::memset(buffer, '#', sizeof(buffer));
  plugin->dispatch(effGetProgramName, 0, 0, buffer);
  EXPECT_EQ(std::string(buffer), std::string(23, 'x'));
  EXPECT_EQ(buffer[24], '#');
}

TEST_F(ModuleTest, IdentityStrings) {
  EXPECT_EQ(plugin->effectName(), "Ombrine v1.0.2");
  EXPECT_EQ(plugin->vendorString(), "Quillane");
  EXPECT_EQ(plugin->productString(), "Ombrine Program Tube Equalizer v1.0.2");
  EXPECT_EQ(plugin->dispatch(effGetVendorVersion), 1020);
}

TEST_F(ModuleTest, SetProgramReappliesTheLiveValues) {
  // The program mirrors the live state, so re-selecting it changes nothing.
  plugin->setParameter(kLoFreqIndex, 0.5f);
  plugin->setParameter(kModeIndex, 0.0f);
  EXPECT_EQ(plugin->dispatch(effSetProgram, 0, 0), 0);
  EXPECT_EQ(plugin->getParameter(kLoFreqIndex), 0.5f);
  EXPECT_EQ(plugin->getParameter(kModeIndex), 0.0f);
  EXPECT_EQ(plugin->parameterDisplay(kModeIndex), "Mono");
}

// A value outside 0..1 from a host acts as the value limited to the range, NaN as 0: the same
// audio and the same display, and never a non-finite sample. getParameter still answers what
// the host set.
TEST(ModuleBadValues, ActAsTheClampedValue) {
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::pair<float, float> cases[] = {{-1.0f, 0.0f}, {2.0f, 1.0f},   {10.0f, 1.0f},
                                           {1e30f, 1.0f}, {-1e30f, 0.0f}, {nan, 0.0f},
                                           {inf, 1.0f},   {-inf, 0.0f}};
  StereoBlock<float> block(512);
  for (int i = 0; i < 512; ++i) {
    block.in[0][i] = 0.5f * std::sin(0.05f * static_cast<float>(i));
    block.in[1][i] = 0.5f * std::cos(0.031f * static_cast<float>(i));
  }
  auto render = [&](VstInt32 index, float value, std::string* display) {
    vsthost::Plugin plugin(builtModule());
    plugin.setParameter(index, value);
    *display = plugin.parameterDisplay(index);
    std::vector<float> out;
    for (int k = 0; k < 4; ++k) {
      plugin.process(block.inputs(), block.outputs(), 512);
      out.insert(out.end(), block.out[0].begin(), block.out[0].end());
      out.insert(out.end(), block.out[1].begin(), block.out[1].end());
    }
    const float got = plugin.getParameter(index);
    EXPECT_TRUE(got == value || (std::isnan(got) && std::isnan(value)));
    return out;
  };
  for (VstInt32 index = 0; index < kParamCount; ++index) {
    for (const auto& [bad, clamped] : cases) {
      SCOPED_TRACE("parameter " + std::to_string(index) + " at " + std::to_string(bad));
      std::string badDisplay, clampedDisplay;
      const auto got = render(index, bad, &badDisplay);
      const auto expected = render(index, clamped, &clampedDisplay);
      EXPECT_EQ(badDisplay, clampedDisplay);
      ASSERT_TRUE(std::all_of(got.begin(), got.end(), [](float y) { return std::isfinite(y); }));
      EXPECT_EQ(got, expected);
    }
  }
}
