// The DLL as a Windows host sees it, against the Linux module: export and
// import tables, embedded images, every dispatcher answer, and audio.
#include "ProbeCases.h"
#include "check/WineSession.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>

using namespace wintest;

namespace {

std::string dllPath() { return win64File("Ombrine.dll"); }
std::string probePath() { return win64File("tests/windows/ombrine-probe.exe"); }

std::string lowerCase(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Lines that differ, with their numbers, for a readable failure message.
std::string firstDifferences(const std::vector<std::string>& a, const std::vector<std::string>& b,
                             std::size_t limit = 20) {
  std::string report;
  std::size_t shown = 0;
  for (std::size_t i = 0; i < std::max(a.size(), b.size()) && shown < limit; ++i) {
    const std::string left = i < a.size() ? a[i] : "<none>";
    const std::string right = i < b.size() ? b[i] : "<none>";
    if (left == right) continue;
    report +=
        "line " + std::to_string(i + 1) + "\n  linux:   " + left + "\n  windows: " + right + "\n";
    ++shown;
  }
  return report;
}

} // namespace

TEST(WindowsModule, ExportsTheTwoEntryNamesAndImportsOnlySystemLibraries) {
  const RunResult dump = runLinux(OMBRINE_OBJDUMP, {"-p", dllPath()});
  ASSERT_EQ(dump.status, 0);

  // The module's own name, without a "lib" prefix.
  EXPECT_TRUE(std::regex_search(dump.output, std::regex(R"(\nName\s+[0-9a-f]+ Ombrine\.dll\n)")))
      << "export directory does not name Ombrine.dll";

  // "[   0] +base[   1] 1370 Export RVA" and "[   0] VSTPluginMain".
  std::vector<std::string> rvas, names;
  bool inNames = false;
  for (const std::string& line : lines(dump.output)) {
    std::smatch m;
    if (std::regex_search(line, m, std::regex(R"(\+base\[\s*\d+\]\s+([0-9a-f]+) Export RVA)")))
      rvas.push_back(m[1]);
    if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
      inNames = true;
      continue;
    }
    if (inNames) {
      if (std::regex_search(line, m, std::regex(R"(^\s+\[\s*\d+\] (\S+)$)")))
        names.push_back(m[1]);
      else
        inNames = false;
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"VSTPluginMain", "main"}));
  ASSERT_EQ(rvas.size(), 2u);
  EXPECT_EQ(rvas[0], rvas[1]) << "VSTPluginMain and main are not one function";

  // Imports: system libraries only; the C++ runtime, libgcc and winpthread are linked in.
  const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll", "user32.dll", "gdi32.dll",
                                        "gdiplus.dll",  "ole32.dll",  "shlwapi.dll"};
  std::vector<std::string> imports;
  for (const std::string& line : lines(dump.output)) {
    std::smatch m;
    if (std::regex_search(line, m, std::regex(R"(DLL Name: (\S+))"))) imports.push_back(m[1]);
  }
  EXPECT_FALSE(imports.empty());
  for (const std::string& name : imports) {
    const std::string lower = lowerCase(name);
    EXPECT_EQ(lower.find("winpthread"), std::string::npos) << name;
    EXPECT_EQ(lower.find("libstdc++"), std::string::npos) << name;
    EXPECT_EQ(lower.find("libgcc_s"), std::string::npos) << name;
    EXPECT_TRUE(system.count(lower)) << "unexpected import " << name;
  }
}

TEST(WindowsModule, EmbedsTheSixPanelImagesAsPngResources) {
  const RunResult run = runWindows(probePath(), {"resources", windowsPath(dllPath())});
  ASSERT_EQ(run.status, 0) << run.output;

  // What the resource list must hold: each file under its upper-case name, type "PNG", 1033.
  std::vector<std::string> expected;
  for (const char* file : {"BakeliteKnob.png", "BakeliteKnob6.png", "BakeliteKnob7.png",
                           "FrontPanel.bmp", "MetalSwitch.png", "MetalSwitchWithLed.png"}) {
    const std::string bytes = readFile(std::string(OMBRINE_RESOURCE_DIR) + "/" + file);
    ASSERT_FALSE(bytes.empty()) << file;
    uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char c : bytes) {
      hash ^= c;
      hash *= 0x100000001b3ull;
    }
    std::string upper = file;
    for (char& c : upper)
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    char line[256];
    std::snprintf(line, sizeof line, "resource PNG %s 1033 %zu %016" PRIx64, upper.c_str(),
                  bytes.size(), hash);
    expected.push_back(line);
  }
  std::vector<std::string> listed;
  for (const std::string& line : lines(run.output))
    if (line.rfind("resource ", 0) == 0) listed.push_back(line);
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, expected);

  // Found by mixed-case names; a missing one fails with ERROR_RESOURCE_NAME_NOT_FOUND.
  const std::string out = run.output;
  EXPECT_NE(out.find("lookup FrontPanel.bmp found error 0"), std::string::npos) << out;
  EXPECT_NE(out.find("lookup bakeliteknob.png found error 0"), std::string::npos) << out;
  EXPECT_NE(out.find("lookup Missing.png missing error 1814"), std::string::npos) << out;
}

TEST(WindowsModule, AnswersEveryOpcodeLikeTheLinuxModule) {
  const RunResult linux = runLinux(OMBRINE_LINUX_PROBE, {"dispatch", OMBRINE_LINUX_MODULE});
  ASSERT_EQ(linux.status, 0) << linux.output;
  const RunResult windows = runWindows(probePath(), {"dispatch", windowsPath(dllPath())});
  ASSERT_EQ(windows.status, 0) << windows.output;

  const auto a = lines(linux.output);
  const auto b = lines(windows.output);
  EXPECT_GT(a.size(), 200u); // the dump is complete, not an early failure
  EXPECT_EQ(a, b) << firstDifferences(a, b);

  // The floating-point mode: flushed inside the block, the caller's restored after it.
  for (const char* expectedLine :
       {"host keeps denormals 1",
        "mxcsr caller 0x1F80 after 0x1F80 restored 1; denormal input gave 0 non-zero outputs",
        "mxcsr caller 0x9FC0 after 0x9FC0 restored 1; denormal input gave 0 non-zero outputs",
        "mxcsr caller 0x7F80 after 0x7F80 restored 1; denormal input gave 0 non-zero outputs"})
    EXPECT_NE(std::find(b.begin(), b.end(), expectedLine), b.end()) << expectedLine;
}

TEST(WindowsModule, RendersTheSameAudioAsTheLinuxModule) {
  const std::string linuxFile = scratchDir() + "/render-linux.bin";
  const std::string windowsFile = scratchDir() + "/render-windows.bin";
  const RunResult linux =
      runLinux(OMBRINE_LINUX_PROBE, {"render", OMBRINE_LINUX_MODULE, linuxFile});
  ASSERT_EQ(linux.status, 0);
  const RunResult windows =
      runWindows(probePath(), {"render", windowsPath(dllPath()), windowsPath(windowsFile)});
  ASSERT_EQ(windows.status, 0);

  const std::string a = readFile(linuxFile);
  const std::string b = readFile(windowsFile);
  const auto cases = probe::allCases();
  std::size_t total = 0;
  for (const auto& c : cases)
    total += static_cast<std::size_t>(c.frames) * 2;
  ASSERT_EQ(a.size(), total * sizeof(double));
  ASSERT_EQ(b.size(), a.size());

  // Full scale is 1.0. Both builds use the same sources and compiler family; the
  // maths libraries differ by an ulp or two on some functions, which the float
  // path's final rounding mostly hides.
  constexpr double kFloatTolerance = 1e-6;
  constexpr double kDoubleTolerance = 1e-6;
  double worstFloat = 0, worstDouble = 0, peak = 0;
  std::size_t offset = 0;
  for (const auto& c : cases) {
    const std::size_t n = static_cast<std::size_t>(c.frames) * 2;
    double worst = 0;
    std::size_t bitIdentical = 0;
    for (std::size_t i = 0; i < n; ++i) {
      double x = 0, y = 0;
      std::memcpy(&x, a.data() + (offset + i) * sizeof(double), sizeof x);
      std::memcpy(&y, b.data() + (offset + i) * sizeof(double), sizeof y);
      ASSERT_TRUE(std::isfinite(x) && std::isfinite(y)) << c.name << " sample " << i;
      worst = std::max(worst, std::fabs(x - y));
      peak = std::max(peak, std::fabs(x));
      bitIdentical += x == y;
    }
    offset += n;
    std::printf("  %-28s max |windows - linux| %.3g, %5.1f %% of samples identical\n",
                c.name.c_str(), worst,
                100.0 * static_cast<double>(bitIdentical) / static_cast<double>(n));
    EXPECT_LE(worst, c.doublePrecision ? kDoubleTolerance : kFloatTolerance) << c.name;
    (c.doublePrecision ? worstDouble : worstFloat) =
        std::max(c.doublePrecision ? worstDouble : worstFloat, worst);
  }
  std::printf("  worst difference: float path %.3g, double path %.3g (output peak %.3f)\n",
              worstFloat, worstDouble, peak);
  EXPECT_GT(peak, 0.05); // the renders are not silent
}
