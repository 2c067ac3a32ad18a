// Parameter assignments in names and units, resolved against the built module.
#include "RenderTestSupport.h"

namespace {

using render::ParameterTable;
using render::RenderError;

class Assignments : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    session = new render::HostSession(OMBRINE_MODULE_PATH);
    table = new ParameterTable(ParameterTable::probe(session->plugin()));
  }
  static void TearDownTestSuite() {
    delete table;
    delete session;
  }
  static render::HostSession* session;
  static ParameterTable* table;
};

render::HostSession* Assignments::session = nullptr;
ParameterTable* Assignments::table = nullptr;

struct Case {
  const char* text;
  VstInt32 index;
  const char* display; // what the module shows after the value is set
  double normalised;   // < 0: not checked (a step's value is anywhere inside the step)
};

TEST_F(Assignments, ResolveToTheValueTheModuleDisplays) {
  const Case cases[] = {
      {"Input level=-6", 0, "-6.000000", 1.0 / 3.0},
      {"input LEVEL = -6 dB", 0, "-6.000000", 1.0 / 3.0},
      {"Output level=+18", 1, "18.000000", 1.0},
      {"Output level=-18db", 1, "-18.000000", 0.0},
      {"Input level=0.25n", 0, "-9.000000", 0.25},
      {"0=4.5", 0, "4.500000", 22.5 / 36.0},
      {"#1=0.75 norm", 1, "9.000000", 0.75},
      {"Hi Boost=0.3", 2, "0.300000", 0.3},
      {"hi cut=1x", 3, "1.000000", 1.0},
      {"Hi Freq. Q=0", 6, "0.000000", 0.0},
      {"Lo Freq=60", 9, "60", -1},
      {"lo freq=0.06kHz", 9, "60", -1},
      {"Lo Freq=150Hz", 9, "150", -1},
      {"Hi Boost Freq.=10", 4, "10", -1},
      {"Hi Boost Freq=10k", 4, "10", -1},
      {"HiBoostFreq=16000 Hz", 4, "16", -1},
      {"Hi Boost Freq.=3.0", 4, "3", -1},
      {"Hi Cut Freq.=5", 5, "5", -1},
      {"Hi Cut Freq.=20 kHz", 5, "20", -1},
      {"Hi Boost Freq.=0.5n", 4, "6", 0.5},
      {"Mode=Mono", 12, "Mono", -1},
      {"mode=STEREO", 12, "Stereo", -1},
      {"Tube Buffer=Off", 10, "Off", -1},
      {"tube_buffer=on", 10, "On", -1},
      {"Equalizer=off", 11, "Off", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    render::Assignment a{};
    ASSERT_NO_THROW(a = render::parseAssignment(*table, c.text));
    EXPECT_EQ(a.index, c.index);
    if (c.normalised >= 0.0) {
      EXPECT_NEAR(a.value, c.normalised, 1e-6);
    }
    session->plugin().setParameter(a.index, a.value);
    EXPECT_EQ(session->plugin().parameterDisplay(a.index), c.display);
  }
}

TEST_F(Assignments, StepsSelectTheirOwnTextOnTheModule) {
  const std::vector<std::string> loFreq = {"20", "30", "45", "60", "100", "150"};
  const auto& lo = table->find("Lo Freq");
  ASSERT_TRUE(lo.stepped);
  ASSERT_EQ(lo.steps.size(), loFreq.size());
  for (std::size_t i = 0; i < loFreq.size(); ++i)
    EXPECT_EQ(lo.steps[i].text, loFreq[i]);
  EXPECT_EQ(lo.label, "Hz");

  int steppedCount = 0;
  for (const auto& p : table->all()) {
    if (!p.stepped) continue;
    ++steppedCount;
    for (const auto& step : p.steps) {
      SCOPED_TRACE(p.name + " = " + step.text);
      // Well inside the step: the value a neighbouring step starts at is a
      // whole step-width away.
      const double width = 1.0 / static_cast<double>(p.steps.size());
      EXPECT_GT(step.value, 0.0 + 0.25 * width - 1e-6);
      EXPECT_LT(step.value, 1.0 - 0.25 * width + 1e-6);
      session->plugin().setParameter(p.index, step.value);
      EXPECT_EQ(session->plugin().parameterDisplay(p.index), step.text);
    }
  }
  EXPECT_EQ(steppedCount, 6); // three frequency switches, two on/off switches, the mode
  const auto& input = table->find("input level");
  EXPECT_FALSE(input.stepped);
  EXPECT_DOUBLE_EQ(input.unitsAt0, -18.0);
  EXPECT_DOUBLE_EQ(input.unitsAt1, 18.0);
}

TEST_F(Assignments, TakingTheTableLeavesEveryValueAsItWas) {
  render::HostSession fresh(OMBRINE_MODULE_PATH);
  std::vector<float> before;
  for (VstInt32 i = 0; i < fresh.descriptor().numParams; ++i)
    before.push_back(fresh.plugin().getParameter(i));
  ParameterTable::probe(fresh.plugin());
  for (VstInt32 i = 0; i < fresh.descriptor().numParams; ++i)
    EXPECT_EQ(fresh.plugin().getParameter(i), before[static_cast<std::size_t>(i)]) << i;
}

TEST_F(Assignments, MistakesAreReportedWithTheReason) {
  const std::pair<const char*, const char*> cases[] = {
      {"Nope=1", "unknown parameter \"Nope\""},
      {"Hi=1", "unknown parameter"},
      {"13=0.5n", "no parameter with index 13"},
      {"Input level=19", "out of range"},
      {"Input level=-18.5", "out of range"},
      {"Hi Boost=1.5", "out of range"},
      {"Hi Boost=-0.1", "out of range"},
      {"Hi Boost=2n", "out of range"},
      {"Lo Freq=61", "no step 61 Hz"},
      {"Hi Boost Freq.=10 Hz", "no step 0.01 KHz"},
      {"Mode=Sideways", "no step \"Sideways\""},
      {"Input level=3Hz", "set in db"},
      {"Input level=3 furlongs", "set in db"},
      {"Hi Freq. Q=0.5dB", "takes no unit"},
      {"Input level", "expected NAME=VALUE"},
      {"=3", "expected NAME=VALUE"},
      {"Input level=", "no value"},
      {"Input level=loud", "takes a number"},
      {"Input level=nan", "takes a number"},
  };
  for (const auto& [text, reason] : cases) {
    SCOPED_TRACE(text);
    try {
      render::parseAssignment(*table, text);
      ADD_FAILURE() << "accepted";
    } catch (const RenderError& e) {
      EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
    }
  }
}

TEST_F(Assignments, RampsTakeTwoValuesInTheSameUnits) {
  const auto r = render::parseRamp(*table, "Input level=-18:6");
  EXPECT_EQ(r.index, 0);
  EXPECT_FLOAT_EQ(r.from, 0.0f);
  EXPECT_NEAR(r.to, 24.0 / 36.0, 1e-6);
  EXPECT_NEAR(r.at(0.5), 12.0 / 36.0, 1e-6);
  const auto hi = render::parseRamp(*table, "hi boost=0:1");
  EXPECT_EQ(hi.index, 2);
  EXPECT_FLOAT_EQ(hi.to, 1.0f);
  EXPECT_THROW(render::parseRamp(*table, "Hi Boost=0.5"), RenderError);
  EXPECT_THROW(render::parseRamp(*table, "Hi Boost=0:2"), RenderError);
}

} // namespace
