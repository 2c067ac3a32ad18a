// Renders the plug-in panel for given parameter values to a PNG file, through
// the toolkit's in-memory frame (no display needed).
#include "core/Parameters.h"
#include "editor/ORVEL_GUI.h"
#include "gui/offscreen/Snapshot.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The values of the "Init" program.
constexpr std::array<float, kNumParams> kInitValues = [] {
  std::array<float, kNumParams> values{};
  for (int i = 0; i < kNumParams; ++i)
    values[static_cast<std::size_t>(i)] = parameters::info(i).initial;
  return values;
}();

// Stands in for the plug-in: it only holds the 13 values the panel shows.
class ValueHolder : public EditController {
public:
  explicit ValueHolder(const std::array<float, kNumParams>& values) : values(values) {}

  float getParameter(int index) override {
    return index >= 0 && index < kNumParams ? values[static_cast<std::size_t>(index)] : 0.0f;
  }
  void beginEdit(int) override {}
  void performEdit(int, float) override {}
  void endEdit(int) override {}

private:
  std::array<float, kNumParams> values;
};

void usage() {
  std::fprintf(stderr,
               "usage: ombrine-snapshot OUTPUT.png [--init | --min | --max | V0 V1 ... V12]\n"
               "\n"
               "Draws the editor panel for the 13 normalised parameter values (0..1, in\n"
               "parameter order: input, output, hi boost, hi cut, hi boost freq, hi cut freq,\n"
               "hi freq Q, lo boost, lo cut, lo freq, tube buffer, equalizer, mode) and writes\n"
               "it as a PNG. The default is --init, the values of the \"Init\" program.\n"
               "\n"
               "The tool links the editor and the toolkit directly, with a minimal stand-in\n"
               "that only holds the 13 values; it does not load the module, and the\n"
               "panel is drawn into memory, so no display is needed.\n");
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    usage();
    return argc < 2 ? 2 : 0;
  }
  const std::string output = argv[1];
  std::array<float, kNumParams> values = kInitValues;
  if (argc == 3 && std::strcmp(argv[2], "--min") == 0) {
    values.fill(0.0f);
  } else if (argc == 3 && std::strcmp(argv[2], "--max") == 0) {
    values.fill(1.0f);
  } else if (argc == 3 && std::strcmp(argv[2], "--init") == 0) {
    // already set
  } else if (argc == 2 + kNumParams) {
    for (int i = 0; i < kNumParams; ++i) {
      char* end = nullptr;
      const float v = std::strtof(argv[2 + i], &end);
      if (!end || *end || !(v >= 0.0f && v <= 1.0f)) {
        std::fprintf(stderr, "ombrine-snapshot: value %d (\"%s\") is not a number from 0 to 1\n", i,
                     argv[2 + i]);
        return 2;
      }
      values[static_cast<std::size_t>(i)] = v;
    }
  } else if (argc != 2) {
    usage();
    return 2;
  }

  ValueHolder holder(values);
  ORVEL_GUI editor(&holder);
  editor.open(nullptr);
  editor.idle();
  const VSTGUI::PixelImage image = VSTGUI::snapshot::capture(*editor.getFrame());
  editor.close();
  if (!VSTGUI::snapshot::writePng(image, output)) {
    std::fprintf(stderr, "ombrine-snapshot: cannot write %s\n", output.c_str());
    return 1;
  }
  std::printf("%s: %d x %d\n", output.c_str(), image.width, image.height);
  return 0;
}
