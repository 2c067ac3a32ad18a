// Prints a module as a host sees it: descriptor, parameters, program and
// identity strings. Usage: ombrine-info <module file>
#include <cstdio>
#include <string>

#include "vsthost/vsthost.h"

namespace {

std::string fourCC(VstInt32 v) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xff);
  return s;
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <module file>\n", argv[0]);
    return 2;
  }
  std::string error;
  auto module = vsthost::Module::load(argv[1], &error);
  if (!module) {
    std::fprintf(stderr, "error: %s\n", error.c_str());
    return 1;
  }
  std::fflush(stdout);
  vsthost::Plugin plugin(*module);
  if (!plugin.valid()) {
    std::fprintf(stderr, "error: the module created no effect\n");
    return 1;
  }
  const AEffect* e = plugin.aeffect();
  std::printf("\nModule        %s\n", argv[1]);
  std::printf("Effect        %s\n", plugin.effectName().c_str());
  std::printf("Product       %s\n", plugin.productString().c_str());
  std::printf("Vendor        %s (version %ld)\n", plugin.vendorString().c_str(),
              static_cast<long>(plugin.dispatch(effGetVendorVersion)));
  std::printf("VST version   %ld\n", static_cast<long>(plugin.dispatch(effGetVstVersion)));
  std::printf("Magic         '%s'   unique ID '%s' (0x%08X)   version %d\n",
              fourCC(e->magic).c_str(), fourCC(e->uniqueID).c_str(),
              static_cast<unsigned>(e->uniqueID), e->version);
  std::printf("I/O           %d in, %d out   flags 0x%04X   latency %d   ioRatio %.1f\n",
              e->numInputs, e->numOutputs, static_cast<unsigned>(e->flags), e->initialDelay,
              static_cast<double>(e->ioRatio));
  std::printf("Programs      %d, current \"%s\"\n", e->numPrograms, plugin.programName().c_str());
  std::printf("\n  #  %-16s %-6s %s\n", "parameter", "label", "display");
  for (VstInt32 i = 0; i < e->numParams; ++i) {
    std::printf(" %2d  %-16s %-6s %-12s (%.4f)\n", i, plugin.parameterName(i).c_str(),
                plugin.parameterLabel(i).c_str(), plugin.parameterDisplay(i).c_str(),
                static_cast<double>(plugin.getParameter(i)));
  }
  std::printf("\n");
  std::fflush(stdout);
  plugin.close();
  return 0;
}
