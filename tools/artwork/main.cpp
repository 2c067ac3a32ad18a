// ombrine-artwork: draws the six panel images.
//
//   ombrine-artwork <output directory> [--preview <file.png>]
//
// Writes FrontPanel.bmp and the five control strips into the output directory (normally
// resources/). The drawing is deterministic, so running it again gives the same files. The preview
// is the panel with every control placed at its rectangle, for looking at, not for shipping.
#include "Artwork.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

using namespace artwork;

// Places frame `frame` of a vertical strip with frames of height `frameHeight` at (x, y).
void placeFrame(cairo_t* cr, cairo_surface_t* strip, int frameHeight, int frame, int x, int y) {
  cairo_save(cr);
  cairo_rectangle(cr, x, y, cairo_image_surface_get_width(strip), frameHeight);
  cairo_clip(cr);
  cairo_set_source_surface(cr, strip, x, y - frame * frameHeight);
  cairo_paint(cr);
  cairo_restore(cr);
}

int frameFor(double value, int frames) {
  return static_cast<int>(std::lround(value * (frames - 1)));
}

bool writePreview(const Image& panel, const Image& knob, const Image& knob6, const Image& knob7,
                  const Image& plain, const Image& lamp, const std::string& path) {
  cairo_surface_t* surface = toSurface(panel);
  cairo_surface_t* strips[] = {toSurface(knob), toSurface(knob6), toSurface(knob7)};
  cairo_surface_t* plainStrip = toSurface(plain);
  cairo_surface_t* lampStrip = toSurface(lamp);
  cairo_t* cr = cairo_create(surface);
  for (const KnobPlace& k : knobPlaces()) {
    const int index = static_cast<int>(k.strip);
    placeFrame(cr, strips[index], kKnobSize, frameFor(k.defaultValue, frameCount(k.strip)), k.left,
               k.top);
  }
  for (const SwitchPlace& s : switchPlaces()) {
    const bool withLamp = s.kind == SwitchKind::withLamp;
    placeFrame(cr, withLamp ? lampStrip : plainStrip,
               withLamp ? kLampSwitchHeight : kPlainSwitchHeight, s.value >= 0.5 ? 1 : 0, s.left,
               s.top);
  }
  cairo_destroy(cr);
  const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
  for (cairo_surface_t* s : strips)
    cairo_surface_destroy(s);
  cairo_surface_destroy(plainStrip);
  cairo_surface_destroy(lampStrip);
  cairo_surface_destroy(surface);
  return ok;
}

} // namespace

int main(int argc, char** argv) {
  std::string outDir, preview;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--preview") == 0 && i + 1 < argc)
      preview = argv[++i];
    else if (outDir.empty() && argv[i][0] != '-')
      outDir = argv[i];
    else {
      std::fprintf(stderr, "usage: %s <output directory> [--preview <file.png>]\n", argv[0]);
      return 2;
    }
  }
  if (outDir.empty()) {
    std::fprintf(stderr, "usage: %s <output directory> [--preview <file.png>]\n", argv[0]);
    return 2;
  }

  const Image panel = drawPanel();
  const Image knob = drawKnobStrip(KnobStrip::continuous);
  const Image knob6 = drawKnobStrip(KnobStrip::six);
  const Image knob7 = drawKnobStrip(KnobStrip::seven);
  const Image plain = drawSwitchStrip(SwitchKind::plain);
  const Image lamp = drawSwitchStrip(SwitchKind::withLamp);

  bool ok = writeBmp(panel, outDir + "/FrontPanel.bmp");
  ok = writePng(knob, outDir + "/BakeliteKnob.png") && ok;
  ok = writePng(knob6, outDir + "/BakeliteKnob6.png") && ok;
  ok = writePng(knob7, outDir + "/BakeliteKnob7.png") && ok;
  ok = writePng(plain, outDir + "/MetalSwitch.png") && ok;
  ok = writePng(lamp, outDir + "/MetalSwitchWithLed.png") && ok;
  if (!preview.empty()) ok = writePreview(panel, knob, knob6, knob7, plain, lamp, preview) && ok;
  if (!ok) {
    std::fprintf(stderr, "ombrine-artwork: could not write the images\n");
    return 1;
  }
  return 0;
}
