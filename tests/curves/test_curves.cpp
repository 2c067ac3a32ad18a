// ombrine-curves run as a user runs it, against the response the chain is designed to have.
#include "curves/CurvesTestSupport.h"
#include "curves/Measure.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace curvestest;

namespace {

// Init (tube on) first: the others are compared with it.
const std::vector<std::string> kSettings = {
    "Init", "Tube Buffer=Off",
    "Tube Buffer=Off,Lo Boost=0.8,Lo Cut=0.4,Lo Freq=45,Hi Boost=0.7,Hi Boost Freq.=10,"
    "Hi Freq. Q=0.3,Hi Cut=0.5,Hi Cut Freq.=15,Output level=-3",
    "preset:low-end lift", // tube on, output level set
};

std::vector<double> column(const Table& t, std::size_t setting) {
  std::vector<double> c;
  for (const auto& row : t.rows)
    c.push_back(row.at(setting + 1));
  return c;
}

double dB(double gain) { return 20.0 * std::log10(gain); }

class CurvesAtRate : public ::testing::TestWithParam<int> {};

// With the tube out, the curves are the equalizer's digital filter, the oversampler and the fixed
// gains. With it in, they move by the tube stage's small-signal gain and its output gain (in place
// of the make-up gain): flat within 0.1 dB from 50 Hz up; below, the output coupling capacitor into
// the load takes off up to half a dB at 20 Hz, so there it is checked against the tube stage
// itself.
TEST_P(CurvesAtRate, MatchDesignedResponse) {
  const int rate = GetParam();
  ScratchDir dir;
  std::vector<std::string> args = {"--rate",          std::to_string(rate), "--csv",
                                   dir.file("r.csv"), OMBRINE_MODULE_PATH,  dir.file("r.png")};
  args.insert(args.end(), kSettings.begin(), kSettings.end());
  const auto r = runCurves(args);
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, ""); // the module's trace lines stay off standard output
  EXPECT_EQ(dir.list(), (std::set<std::string>{"r.csv", "r.png"}));

  const Table t = readCsv(dir.file("r.csv"));
  std::string header = "frequency_hz";
  for (const auto& s : kSettings)
    header += ",\"" + s + "\"";
  EXPECT_EQ(t.header, header);
  ASSERT_EQ(t.rows.size(), 241u);
  const auto frequencies = curves::responseFrequencies();
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    ASSERT_EQ(t.rows[i].size(), kSettings.size() + 1);
    ASSERT_NEAR(t.rows[i][0], frequencies[i], 1e-3);
  }

  std::vector<std::vector<double>> designed;
  for (const auto& s : kSettings)
    designed.push_back(designedResponseDb(settingValues(s), frequencies, rate));

  for (std::size_t s : {1u, 2u}) {
    const auto measured = column(t, s);
    double worst = 0.0;
    for (std::size_t i = 0; i < measured.size(); ++i)
      worst = std::max(worst, std::fabs(measured[i] - designed[s][i]));
    EXPECT_LT(worst, 0.1) << kSettings[s];
    std::printf("%d Hz, %s: worst deviation %.4f dB\n", rate, kSettings[s].c_str(), worst);
  }

  const auto init = column(t, 0);
  std::vector<double> tubeOffset;
  for (std::size_t i = 0; i < init.size(); ++i)
    tubeOffset.push_back(init[i] - designed[0][i]);
  const double outputGainDb = dB(ORVEL::kTubeOutputGain / ORVEL::kEqualizerMakeUpGain);
  for (std::size_t i : {0u, 160u}) // 20 Hz, 2 kHz
    EXPECT_NEAR(tubeOffset[i], dB(tubeGain(frequencies[i], rate)) + outputGainDb, 0.05)
        << frequencies[i] << " Hz";
  const auto [low, high] = std::minmax_element(tubeOffset.begin() + 32, tubeOffset.end());
  EXPECT_LT(*high - *low, 0.1) << "tube offset from " << *low << " to " << *high << " dB";
  std::printf("%d Hz, tube in: offset %.4f dB at 20 Hz, %.4f .. %.4f dB from 50 Hz up\n", rate,
              tubeOffset[0], *low, *high);

  // A preset with the tube in moves by the same amount at every frequency.
  const auto preset = column(t, 3);
  double worst = 0.0;
  for (std::size_t i = 0; i < preset.size(); ++i)
    worst = std::max(worst, std::fabs(preset[i] - designed[3][i] - tubeOffset[i]));
  EXPECT_LT(worst, 0.1);
  std::printf("%d Hz, %s: worst deviation %.4f dB\n", rate, kSettings[3].c_str(), worst);
}

INSTANTIATE_TEST_SUITE_P(Rates, CurvesAtRate, ::testing::Values(44100, 48000, 96000));

TEST(CurvesFiles, HarmonicsGrowWithLevel) {
  ScratchDir dir;
  const auto r = runCurves(
      {"--harmonics", "--csv", dir.file("h.csv"), OMBRINE_MODULE_PATH, dir.file("h.png"), "Init"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(dir.list(), (std::set<std::string>{"h.csv", "h.png"}));
  const Table t = readCsv(dir.file("h.csv"));
  EXPECT_EQ(t.header, "input_dbfs,h2_db,h3_db,h4_db,h5_db");
  ASSERT_EQ(t.rows.size(), 21u);
  EXPECT_EQ(t.rows.front()[0], -40.0);
  EXPECT_EQ(t.rows.back()[0], 0.0);
  // A small-signal second harmonic rises 1 dB per dB of input.
  EXPECT_NEAR(t.rows[5][1] - t.rows[0][1], 10.0, 1.0);
  for (const auto& row : t.rows)
    EXPECT_LT(row[1], -20.0);
}

TEST(CurvesFiles, ErrorsExitNonZeroAndLeaveNoFile) {
  const std::string module = OMBRINE_MODULE_PATH;
  struct Case {
    std::vector<std::string> options;
    std::string module;
    std::vector<std::string> settings;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{}, module, {"Lo Bust=1"}, "unknown parameter"},
      {{}, module, {"Lo Freq=55"}, "has no step"},
      {{}, module, {"Hi Boost=2"}, "out of range"},
      {{}, module, {"Init", "preset:No Such Preset"}, "no factory preset"},
      {{}, "/etc/hostname", {"Init"}, "cannot load module"},
      {{}, "/no/such/module.so", {"Init"}, "module not found"},
      {{}, module, {}, "no SETTING"},
      {{"--rate", "8000"}, module, {"Init"}, "sample rate"},
      {{"--rate", "48k"}, module, {"Init"}, "sample rate"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    std::vector<std::string> args = c.options;
    for (const auto& a : {std::string("--csv"), dir.file("out.csv"), c.module, dir.file("out.png")})
      args.push_back(a);
    args.insert(args.end(), c.settings.begin(), c.settings.end());
    const auto r = runCurves(args);
    EXPECT_NE(r.exitCode, 0) << c.message;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(dir.list().empty()) << c.message;
  }
}

} // namespace
