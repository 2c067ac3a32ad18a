// The stereo loop's AVX2 build must define nothing but its two entries. A function it defined
// that another object file defines too (an inline function the compiler chose not to inline)
// would be kept once for both at link time, and could be the AVX2 copy on a processor without
// AVX2.
#include <cstdio>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

TEST(WideBuild, DefinesNoFunctionButItsTwoEntries) {
  FILE* pipe = popen("nm --defined-only --extern-only -A -C '" OMBRINE_CORE_LIBRARY "' 2>&1", "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe))
    out += buffer;
  ASSERT_EQ(pclose(pipe), 0) << out;

  // Lines read "archive:member:address type name".
  std::vector<std::string> functions;
  bool built = false;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const auto member = line.find(":StereoBlockWide.cpp.o:");
    if (member == std::string::npos) continue;
    built = true;
    std::istringstream fields(line.substr(member + 23));
    std::string address, type, name;
    fields >> address >> type;
    std::getline(fields, name);
    if (type == "T" || type == "W" || type == "i") functions.push_back(name);
  }
  if (!built) GTEST_SKIP() << "no wide build on this platform";
  ASSERT_EQ(functions.size(), 2u) << out;
  for (const std::string& f : functions)
    EXPECT_EQ(f.rfind(" stereo_block::runWide(", 0), 0u) << f;
}

} // namespace
