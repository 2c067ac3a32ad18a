// Each wide build of the stereo loop must define nothing but its two entries. A function it
// defined that another object file defines too (an inline function the compiler chose not to
// inline) would be kept once for both at link time, and could be the wide copy on a processor
// without those instructions.
#include <cstdio>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(WideBuilds, DefineNoFunctionButTheirTwoEntries) {
  FILE* pipe = popen("nm --defined-only --extern-only -A -C '" OMBRINE_CORE_LIBRARY "' 2>&1", "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe))
    out += buffer;
  ASSERT_EQ(pclose(pipe), 0) << out;

  // Lines read "archive:member:address type name".
  std::map<std::string, std::vector<std::string>> functions; // by member
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto start = line.find(":StereoBlockAvx");
    if (start == std::string::npos) continue;
    const auto end = line.find(".cpp.o:", start);
    ASSERT_NE(end, std::string::npos) << line;
    std::vector<std::string>& found = functions[line.substr(start + 1, end - start - 1)];
    std::istringstream fields(line.substr(end + 7));
    std::string address, type, name;
    fields >> address >> type;
    std::getline(fields, name);
    if (type == "T" || type == "W" || type == "i") found.push_back(name);
  }
  if (functions.empty()) GTEST_SKIP() << "no wide build on this platform";
  EXPECT_EQ(functions.size(), 2u) << out;
  for (const auto& [member, names] : functions) {
    EXPECT_EQ(names.size(), 2u) << member << "\n" << out;
    for (const std::string& f : names)
      EXPECT_EQ(f.rfind(" void stereo_block::runBuilt<", 0), 0u) << member << ": " << f;
  }
}

} // namespace
