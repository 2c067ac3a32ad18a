// The front panel: a mottled dark teal-green plate with section rules, knob wells, scales,
// captions, switch seats, the product name and the maker's logo.
#include "Artwork.h"

#include <string>

namespace artwork {

namespace {

constexpr std::uint32_t kPanelSeed = 0x0B5E1A2Cu;

struct Colour {
  double r, g, b;
};

constexpr Colour kLettering{0.86, 0.875, 0.855};
constexpr Colour kRule{0.74, 0.77, 0.75};

// --- Plate ---------------------------------------------------------------------------------------

Image drawPlate() {
  Image image(kPanelWidth, kPanelHeight);
  const Colour base{0.118, 0.262, 0.240};
  for (int y = 0; y < kPanelHeight; ++y) {
    for (int x = 0; x < kPanelWidth; ++x) {
      // Large soft blotches, a finer mottle and a grain, all from the fixed seed.
      const double blotch = fractalNoise(x / 46.0, y / 46.0, 3, kPanelSeed) - 0.5;
      const double mottle = fractalNoise(x / 9.0, y / 9.0, 2, kPanelSeed + 7u) - 0.5;
      const double grain = hashNoise(x, y, kPanelSeed + 13u) - 0.5;
      double k = 1.0 + 0.30 * blotch + 0.12 * mottle + 0.05 * grain;
      k *= 1.05 - 0.10 * y / kPanelHeight;
      // A narrow bevel round the edge of the plate.
      if (x < 2 || y < 2) k *= 1.35;
      if (x >= kPanelWidth - 2 || y >= kPanelHeight - 2) k *= 0.55;
      image.at(x, y) = opaque(base.r * k, base.g * k, base.b * k);
    }
  }
  return image;
}

// --- Text ----------------------------------------------------------------------------------------

struct Font {
  const char* family;
  cairo_font_slant_t slant;
  cairo_font_weight_t weight;
  double size;
  double tracking; // extra space between letters, in pixels
};

const Font kCaption{"DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 8.6,
                    0.9};
const Font kScale{"DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 7.6,
                  0.2};
const Font kSmall{"DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD, 6.6,
                  0.7};

void useFont(cairo_t* cr, const Font& font) {
  cairo_select_font_face(cr, font.family, font.slant, font.weight);
  cairo_set_font_size(cr, font.size);
}

std::string glyphAt(const std::string& text, std::size_t i) { return text.substr(i, 1); }

double textWidth(cairo_t* cr, const Font& font, const std::string& text) {
  useFont(cr, font);
  double w = 0.0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, glyphAt(text, i).c_str(), &e);
    w += e.x_advance;
  }
  return w + font.tracking * (text.empty() ? 0.0 : double(text.size() - 1));
}

// Height of a capital letter, for placing labels by their middle.
double capHeight(cairo_t* cr, const Font& font) {
  useFont(cr, font);
  cairo_text_extents_t e;
  cairo_text_extents(cr, "H", &e);
  return -e.y_bearing;
}

enum class Align { left, centre, right };

// Letters are filled as outlines: glyphs shown as text land on whole pixels, which spaces small
// capitals unevenly.
void drawText(cairo_t* cr, const Font& font, const std::string& text, double x, double baseline,
              Align align, Colour c = kLettering) {
  const double w = textWidth(cr, font, text);
  if (align == Align::centre) x -= w / 2.0;
  if (align == Align::right) x -= w;
  useFont(cr, font);
  cairo_new_path(cr);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string g = glyphAt(text, i);
    cairo_text_extents_t e;
    cairo_text_extents(cr, g.c_str(), &e);
    cairo_move_to(cr, x, baseline);
    cairo_text_path(cr, g.c_str());
    x += e.x_advance + font.tracking;
  }
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_fill(cr);
}

// --- Knob wells and scales -----------------------------------------------------------------------

constexpr double kWellRadius = 25.6;
constexpr double kDotRing = 29.8;
constexpr double kLabelGap = 33.0; // nearest edge of a scale label from the knob's centre

double rayX(double cx, double angleDeg, double r) { return cx + r * std::sin(degrees(angleDeg)); }
double rayY(double cy, double angleDeg, double r) { return cy - r * std::cos(degrees(angleDeg)); }

void drawWell(cairo_t* cr, double cx, double cy) {
  // A dark recess: a faint lighter lip on the lower right, darker towards the upper left.
  cairo_pattern_t* lip = cairo_pattern_create_linear(cx - 20, cy - 20, cx + 20, cy + 20);
  cairo_pattern_add_color_stop_rgba(lip, 0.0, 0.0, 0.0, 0.0, 0.55);
  cairo_pattern_add_color_stop_rgba(lip, 1.0, 0.75, 0.85, 0.82, 0.30);
  cairo_arc(cr, cx, cy, kWellRadius + 0.9, 0, 2 * kPi);
  cairo_set_source(cr, lip);
  cairo_fill(cr);
  cairo_pattern_destroy(lip);

  cairo_pattern_t* well = cairo_pattern_create_radial(cx + 4, cy + 5, 2, cx, cy, kWellRadius);
  cairo_pattern_add_color_stop_rgb(well, 0.0, 0.055, 0.065, 0.065);
  cairo_pattern_add_color_stop_rgb(well, 0.8, 0.035, 0.042, 0.042);
  cairo_pattern_add_color_stop_rgb(well, 1.0, 0.015, 0.018, 0.018);
  cairo_arc(cr, cx, cy, kWellRadius, 0, 2 * kPi);
  cairo_set_source(cr, well);
  cairo_fill(cr);
  cairo_pattern_destroy(well);
}

void drawDot(cairo_t* cr, double x, double y, double radius) {
  cairo_arc(cr, x, y, radius, 0, 2 * kPi);
  cairo_set_source_rgb(cr, 0.93, 0.94, 0.92);
  cairo_fill(cr);
}

void drawDotRing(cairo_t* cr, double cx, double cy) {
  for (int i = 0; i <= 10; ++i) {
    const double a = -135.0 + 27.0 * i;
    const double radius = (i == 0 || i == 5 || i == 10) ? 1.45 : 1.1;
    drawDot(cr, rayX(cx, a, kDotRing), rayY(cy, a, kDotRing), radius);
  }
}

void drawScale(cairo_t* cr, const KnobPlace& knob) {
  const double cx = knob.centreX(), cy = knob.centreY();
  const int frames = frameCount(knob.strip);
  const double first = knobAngle(knob.strip, 0), last = knobAngle(knob.strip, frames - 1);
  // Thin arc through the positions, angles converted to cairo's (from +x, clockwise).
  cairo_set_line_width(cr, 0.9);
  cairo_set_source_rgb(cr, kLettering.r, kLettering.g, kLettering.b);
  cairo_arc(cr, cx, cy, kDotRing, degrees(first - 90.0), degrees(last - 90.0));
  cairo_stroke(cr);
  const double cap = capHeight(cr, kScale);
  for (int k = 0; k < frames; ++k) {
    const double a = knobAngle(knob.strip, k);
    drawDot(cr, rayX(cx, a, kDotRing), rayY(cy, a, kDotRing), 1.45);
    // Put the label's box just outside the ring, along the pointer's ray.
    const std::string label(knob.scale[std::size_t(k)]);
    const double w = textWidth(cr, kScale, label);
    const double ux = std::abs(std::sin(degrees(a))), uy = std::abs(std::cos(degrees(a)));
    const double reach = kLabelGap + ux * w / 2.0 + uy * cap / 2.0;
    drawText(cr, kScale, label, rayX(cx, a, reach), rayY(cy, a, reach) + cap / 2.0, Align::centre);
  }
}

// --- Rules, seats, screws ------------------------------------------------------------------------

void drawRule(cairo_t* cr, std::initializer_list<std::pair<double, double>> points) {
  bool first = true;
  for (const auto& [x, y] : points) {
    if (first)
      cairo_move_to(cr, x, y);
    else
      cairo_line_to(cr, x, y);
    first = false;
  }
  cairo_set_line_width(cr, 1.25);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_source_rgba(cr, kRule.r, kRule.g, kRule.b, 0.9);
  cairo_stroke(cr);
}

void hexagonPath(cairo_t* cr, double cx, double cy, double radius) {
  for (int i = 0; i < 6; ++i) {
    const double a = i * kPi / 3.0;
    const double x = cx + radius * std::cos(a), y = cy + radius * std::sin(a);
    if (i == 0)
      cairo_move_to(cr, x, y);
    else
      cairo_line_to(cr, x, y);
  }
  cairo_close_path(cr);
}

void drawSeat(cairo_t* cr, double cx, double cy, double radius) {
  hexagonPath(cr, cx + 0.8, cy + 1.2, radius + 0.6);
  cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.45);
  cairo_fill(cr);
  cairo_pattern_t* face = cairo_pattern_create_linear(cx, cy - radius, cx, cy + radius);
  cairo_pattern_add_color_stop_rgb(face, 0.0, 0.085, 0.09, 0.09);
  cairo_pattern_add_color_stop_rgb(face, 1.0, 0.02, 0.022, 0.022);
  hexagonPath(cr, cx, cy, radius);
  cairo_set_source(cr, face);
  cairo_fill(cr);
  cairo_pattern_destroy(face);
  hexagonPath(cr, cx, cy, radius - 0.6);
  cairo_set_line_width(cr, 0.8);
  cairo_set_source_rgba(cr, 0.5, 0.55, 0.55, 0.35);
  cairo_stroke(cr);
}

void drawLampSeat(cairo_t* cr, double cx, double cy) {
  cairo_arc(cr, cx + 0.5, cy + 0.8, 8.6, 0, 2 * kPi);
  cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.4);
  cairo_fill(cr);
  cairo_arc(cr, cx, cy, 8.3, 0, 2 * kPi);
  cairo_set_source_rgb(cr, 0.03, 0.035, 0.035);
  cairo_fill(cr);
}

void drawScrew(cairo_t* cr, double cx, double cy) {
  cairo_arc(cr, cx + 0.5, cy + 0.7, 3.6, 0, 2 * kPi);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_fill(cr);
  cairo_pattern_t* head = cairo_pattern_create_radial(cx - 1.2, cy - 1.4, 0.3, cx, cy, 3.4);
  cairo_pattern_add_color_stop_rgb(head, 0.0, 0.86, 0.87, 0.86);
  cairo_pattern_add_color_stop_rgb(head, 1.0, 0.38, 0.40, 0.40);
  cairo_arc(cr, cx, cy, 3.3, 0, 2 * kPi);
  cairo_set_source(cr, head);
  cairo_fill(cr);
  // Cross slot at a slant, as screws never line up.
  cairo_set_line_width(cr, 0.9);
  cairo_set_source_rgba(cr, 0.12, 0.13, 0.13, 0.9);
  for (double a : {0.5, 0.5 + kPi / 2}) {
    cairo_move_to(cr, cx - 2.5 * std::cos(a), cy - 2.5 * std::sin(a));
    cairo_line_to(cr, cx + 2.5 * std::cos(a), cy + 2.5 * std::sin(a));
  }
  cairo_stroke(cr);
}

// --- Name and logo -------------------------------------------------------------------------------

void drawProductName(cairo_t* cr) {
  // Stylised italic: the serif's own italic leaned further over.
  const double x = 13.0, baseline = 40.0;
  cairo_save(cr);
  cairo_select_font_face(cr, "DejaVu Serif Condensed", CAIRO_FONT_SLANT_ITALIC,
                         CAIRO_FONT_WEIGHT_BOLD);
  cairo_matrix_t m;
  cairo_matrix_init(&m, 26.5, 0.0, -5.0, 31.0, 0.0, 0.0);
  cairo_set_font_matrix(cr, &m);
  cairo_text_extents_t e;
  cairo_text_extents(cr, "Ombrine", &e);
  cairo_move_to(cr, x + 0.8, baseline + 1.0);
  cairo_text_path(cr, "Ombrine");
  cairo_set_source_rgba(cr, 0.0, 0.0, 0.0, 0.35);
  cairo_fill(cr);
  cairo_move_to(cr, x, baseline);
  cairo_text_path(cr, "Ombrine");
  cairo_set_source_rgb(cr, 0.93, 0.93, 0.90);
  cairo_fill(cr);
  cairo_restore(cr);
  // A swash under the name.
  const double end = x + e.x_advance - 3.0;
  cairo_move_to(cr, x + 1.0, baseline + 5.0);
  cairo_curve_to(cr, x + 35.0, baseline + 2.5, end - 30.0, baseline + 7.0, end, baseline + 4.0);
  cairo_set_line_width(cr, 1.1);
  cairo_set_source_rgb(cr, kLettering.r, kLettering.g, kLettering.b);
  cairo_stroke(cr);

  drawText(cr, kSmall, "PROGRAM TUBE EQUALIZER", x + 1.0, baseline + 17.0, Align::left);
  drawText(cr, kSmall, "TWIN TRIODE BUFFER", x + 1.0, baseline + 26.0, Align::left);
}

void drawLogo(cairo_t* cr, double cx, double baseline) {
  cairo_save(cr);
  cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_ITALIC, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 21.0);
  cairo_text_extents_t e;
  cairo_text_extents(cr, "Quillane", &e);
  cairo_move_to(cr, cx - e.x_advance / 2.0, baseline);
  cairo_text_path(cr, "Quillane");
  cairo_set_source_rgb(cr, 0.93, 0.93, 0.90);
  cairo_fill(cr);
  cairo_restore(cr);
  drawText(cr, kSmall, "GLASS AND COPPER, BY HAND", cx, baseline + 12.0, Align::centre);
}

} // namespace

Image drawPanel() {
  const Image plate = drawPlate();
  cairo_surface_t* surface = toSurface(plate);
  cairo_t* cr = cairo_create(surface);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);

  // Section rules: down from the top edge, then bending off diagonally.
  drawRule(cr, {{142.5, 0}, {142.5, 80}, {170, 162}});
  drawRule(cr, {{342.5, 0}, {342.5, 68}, {314, 162}});
  drawRule(cr, {{410.5, 0}, {410.5, 80}, {447, 135}, {458, 162}});
  drawRule(cr, {{551.5, 0}, {551.5, 84}, {588, 162}});
  drawRule(cr, {{693.5, 0}, {693.5, 82}, {716, 104}, {716, 162}});

  const auto& knobs = knobPlaces();
  for (std::size_t i = 0; i < knobs.size(); ++i) {
    const KnobPlace& knob = knobs[i];
    drawWell(cr, knob.centreX(), knob.centreY());
    if (knob.scale.empty())
      drawDotRing(cr, knob.centreX(), knob.centreY());
    else
      drawScale(cr, knob);
    const std::string caption(knob.caption);
    if (knob.captionPlace == CaptionPlace::above)
      drawText(cr, kCaption, caption, knob.centreX(), 15.5, Align::centre);
    else
      drawText(cr, kCaption, caption, knob.centreX(), 153.5, Align::centre);
  }
  const KnobPlace& bandwidth = knobs[kBandwidthKnob];
  drawText(cr, kSmall, "SHARP", bandwidth.left - 3.0, 136.0, Align::right);
  drawText(cr, kSmall, "BROAD", bandwidth.left + kKnobSize + 3.0, 136.0, Align::left);

  for (const SwitchPlace& s : switchPlaces()) {
    const double nutY = s.kind == SwitchKind::plain ? kPlainNutY : kLampNutY;
    drawSeat(cr, s.left + kNutX, s.top + nutY, s.kind == SwitchKind::plain ? 14.0 : 13.2);
    if (s.kind == SwitchKind::withLamp) drawLampSeat(cr, s.left + kLampX, s.top + kLampY);
  }
  const SwitchPlace& mode = switchPlaces()[0];
  drawText(cr, kCaption, "STEREO", mode.left + kNutX, mode.top - 3.5, Align::centre);
  drawText(cr, kCaption, "MONO", mode.left + kNutX, mode.top + kPlainSwitchHeight + 8.5,
           Align::centre);
  const SwitchPlace& eq = switchPlaces()[1];
  const SwitchPlace& tube = switchPlaces()[2];
  drawText(cr, kCaption, "EQ", eq.left + kNutX, eq.top + kLampSwitchHeight + 9.5, Align::centre);
  drawText(cr, kCaption, "TUBE", tube.left + kNutX, tube.top + kLampSwitchHeight + 9.5,
           Align::centre);

  drawProductName(cr);
  drawLogo(cr, 802.0, 124.0);

  for (const auto& [x, y] :
       {std::pair{7.5, 7.5}, std::pair{882.5, 7.5}, std::pair{7.5, 154.5}, std::pair{882.5, 154.5}})
    drawScrew(cr, x, y);

  cairo_destroy(cr);
  Image panel = fromSurface(surface);
  cairo_surface_destroy(surface);
  return panel;
}

} // namespace artwork
