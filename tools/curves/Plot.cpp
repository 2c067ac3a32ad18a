#include "curves/Plot.h"

#include "render/HostSession.h"

#include <algorithm>
#include <array>
#include <cairo.h>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

namespace curves {

namespace {

struct Rgb {
  double r, g, b;
};

// Distinct on white and for the common colour-vision deficiencies, in order of use.
constexpr std::array<Rgb, 10> kPalette = {{{0.000, 0.447, 0.698},
                                           {0.835, 0.369, 0.000},
                                           {0.000, 0.620, 0.451},
                                           {0.800, 0.475, 0.655},
                                           {0.337, 0.706, 0.914},
                                           {0.902, 0.624, 0.000},
                                           {0.600, 0.150, 0.150},
                                           {0.350, 0.350, 0.350},
                                           {0.500, 0.400, 0.800},
                                           {0.400, 0.550, 0.150}}};

constexpr double kMarginLeft = 72.0;
constexpr double kMarginRight = 24.0;
constexpr double kMarginTop = 44.0;
constexpr double kMarginBottom = 58.0;
constexpr double kFontSize = 13.0;
constexpr double kTitleSize = 15.0;

struct Frame {
  double left, top, width, height;
  double xMin, xMax, yLow, yHigh;
  bool logX;

  double px(double x) const {
    const double t = logX ? std::log(x / xMin) / std::log(xMax / xMin) : (x - xMin) / (xMax - xMin);
    return left + t * width;
  }
  double py(double y) const { return top + (yHigh - y) / (yHigh - yLow) * height; }
};

std::string formatNumber(double v) {
  char text[32];
  std::snprintf(text, sizeof(text), "%g", v == 0.0 ? 0.0 : v); // no "-0"
  return text;
}

void showText(cairo_t* cr, const std::string& text, double x, double y, double alignX,
              double alignY) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  // Across by the pen's advance, so left-aligned texts share one origin; up and down by the ink.
  cairo_move_to(cr, x - alignX * e.x_advance, y - e.y_bearing - alignY * e.height);
  cairo_show_text(cr, text.c_str());
}

// Line segments between finite values only.
void strokeSeries(cairo_t* cr, const Frame& f, const std::vector<double>& x,
                  const std::vector<double>& y) {
  bool open = false;
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (!std::isfinite(y[i])) {
      open = false;
      continue;
    }
    if (open)
      cairo_line_to(cr, f.px(x[i]), f.py(y[i]));
    else
      cairo_move_to(cr, f.px(x[i]), f.py(y[i]));
    open = true;
  }
  cairo_stroke(cr);
}

void drawLegend(cairo_t* cr, const Frame& f, const PlotSpec& spec) {
  if (spec.series.empty()) return;
  cairo_set_font_size(cr, kFontSize);
  double textWidth = 0.0;
  for (const auto& s : spec.series) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.label.c_str(), &e);
    textWidth = std::max(textWidth, e.x_advance);
  }
  constexpr double kPad = 8.0, kSample = 26.0, kGap = 8.0, kRow = 19.0, kInset = 10.0;
  const double w = kPad + kSample + kGap + textWidth + kPad;
  const double h = kPad + kRow * static_cast<double>(spec.series.size()) + kPad - 4.0;

  // The corner whose box covers the fewest curve points.
  const std::array<std::pair<double, double>, 4> corners = {{
      {f.left + f.width - kInset - w, f.top + kInset},
      {f.left + kInset, f.top + kInset},
      {f.left + f.width - kInset - w, f.top + f.height - kInset - h},
      {f.left + kInset, f.top + f.height - kInset - h},
  }};
  std::size_t best = 0;
  std::size_t fewest = std::numeric_limits<std::size_t>::max();
  for (std::size_t c = 0; c < corners.size(); ++c) {
    const auto [x0, y0] = corners[c];
    std::size_t covered = 0;
    for (const auto& s : spec.series)
      for (std::size_t i = 0; i < spec.x.size() && i < s.y.size(); ++i) {
        if (!std::isfinite(s.y[i])) continue;
        const double px = f.px(spec.x[i]), py = f.py(s.y[i]);
        if (px >= x0 - 4 && px <= x0 + w + 4 && py >= y0 - 4 && py <= y0 + h + 4) ++covered;
      }
    if (covered < fewest) {
      fewest = covered;
      best = c;
    }
  }
  const auto [x0, y0] = corners[best];
  cairo_rectangle(cr, x0, y0, w, h);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.9);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.7, 0.7, 0.7);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  for (std::size_t i = 0; i < spec.series.size(); ++i) {
    const double cy = y0 + kPad + kRow * (static_cast<double>(i) + 0.5) - 2.0;
    const Rgb& c = kPalette[i % kPalette.size()];
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    cairo_set_line_width(cr, 2.5);
    cairo_move_to(cr, x0 + kPad, cy);
    cairo_line_to(cr, x0 + kPad + kSample, cy);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    showText(cr, spec.series[i].label, x0 + kPad + kSample + kGap, cy, 0.0, 0.5);
  }
}

cairo_status_t writeToStream(void* closure, const unsigned char* data, unsigned int length) {
  return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length
             ? CAIRO_STATUS_SUCCESS
             : CAIRO_STATUS_WRITE_ERROR;
}

} // namespace

Axis niceAxis(double minimum, double maximum, double minSpan) {
  if (!std::isfinite(minimum) || !std::isfinite(maximum)) minimum = maximum = 0.0;
  if (maximum - minimum < minSpan) {
    const double middle = 0.5 * (minimum + maximum);
    minimum = middle - 0.5 * minSpan;
    maximum = middle + 0.5 * minSpan;
  }
  const double span = maximum - minimum;
  Axis axis;
  for (double decade = std::pow(10.0, std::floor(std::log10(span / 10.0)));; decade *= 10.0) {
    for (double m : {1.0, 2.0, 5.0}) {
      const double step = m * decade;
      double low = std::floor(minimum / step) * step;
      double high = std::ceil(maximum / step) * step;
      // Keep curves off the frame.
      if (minimum - low < 0.02 * span) low -= step;
      if (high - maximum < 0.02 * span) high += step;
      if ((high - low) / step <= 10.0 + 1e-9) return {low, high, step};
    }
  }
  return axis;
}

void setFrequencyAxis(PlotSpec& spec) {
  spec.logX = true;
  spec.xMin = 20.0;
  spec.xMax = 20000.0;
  spec.xTicks.clear();
  spec.xTickLabels.clear();
  spec.xMinorTicks.clear();
  for (double decade = 10.0; decade <= 10000.0; decade *= 10.0)
    for (int m = 1; m <= 9; ++m) {
      const double f = m * decade;
      if (f < spec.xMin || f > spec.xMax) continue;
      if (m == 1 || m == 2 || m == 5) {
        spec.xTicks.push_back(f);
        spec.xTickLabels.push_back(f >= 1000.0 ? formatNumber(f / 1000.0) + "k" : formatNumber(f));
      } else {
        spec.xMinorTicks.push_back(f);
      }
    }
}

void writePlot(const PlotSpec& spec, std::FILE* out) {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, spec.width, spec.height),
      cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
                                                             cairo_destroy);
  cairo_t* cr = context.get();
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  double yMin = std::numeric_limits<double>::infinity();
  double yMax = -yMin;
  for (const auto& s : spec.series)
    for (double y : s.y)
      if (std::isfinite(y)) {
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
      }
  const Axis axis = niceAxis(yMin, yMax, spec.minYSpan);
  const Frame f{kMarginLeft,
                kMarginTop,
                spec.width - kMarginLeft - kMarginRight,
                spec.height - kMarginTop - kMarginBottom,
                spec.xMin,
                spec.xMax,
                axis.low,
                axis.high,
                spec.logX};

  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);

  // Grid: minor lines, then labelled ones, crisp on whole pixels.
  auto vertical = [&](double x, double grey) {
    const double p = std::round(f.px(x)) + 0.5;
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_move_to(cr, p, f.top);
    cairo_line_to(cr, p, f.top + f.height);
    cairo_stroke(cr);
  };
  cairo_set_line_width(cr, 1.0);
  for (double x : spec.xMinorTicks)
    vertical(x, 0.93);
  for (double x : spec.xTicks)
    vertical(x, 0.82);
  const int ySteps = static_cast<int>(std::lround((axis.high - axis.low) / axis.step));
  for (int i = 0; i <= ySteps; ++i) {
    const double y = axis.low + i * axis.step;
    const double p = std::round(f.py(y)) + 0.5;
    const bool zero = std::fabs(y) < 1e-9 * axis.step;
    const double grey = zero ? 0.55 : 0.82;
    cairo_set_source_rgb(cr, grey, grey, grey);
    cairo_move_to(cr, f.left, p);
    cairo_line_to(cr, f.left + f.width, p);
    cairo_stroke(cr);
  }

  // Curves, clipped to the frame.
  cairo_save(cr);
  cairo_rectangle(cr, f.left, f.top, f.width, f.height);
  cairo_clip(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 2.0);
  for (std::size_t i = 0; i < spec.series.size(); ++i) {
    const Rgb& c = kPalette[i % kPalette.size()];
    cairo_set_source_rgb(cr, c.r, c.g, c.b);
    strokeSeries(cr, f, spec.x, spec.series[i].y);
  }
  cairo_restore(cr);

  // Frame and labels.
  cairo_set_source_rgb(cr, 0.25, 0.25, 0.25);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, std::round(f.left) + 0.5, std::round(f.top) + 0.5, std::round(f.width),
                  std::round(f.height));
  cairo_stroke(cr);

  cairo_set_font_size(cr, kFontSize);
  cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
  for (std::size_t i = 0; i < spec.xTicks.size() && i < spec.xTickLabels.size(); ++i)
    showText(cr, spec.xTickLabels[i], f.px(spec.xTicks[i]), f.top + f.height + 7.0, 0.5, 0.0);
  for (int i = 0; i <= ySteps; ++i) {
    const double y = axis.low + i * axis.step;
    showText(cr, formatNumber(y), f.left - 7.0, f.py(y), 1.0, 0.5);
  }
  showText(cr, spec.xTitle, f.left + 0.5 * f.width, spec.height - 10.0, 0.5, 1.0);
  cairo_save(cr);
  cairo_translate(cr, 18.0, f.top + 0.5 * f.height);
  cairo_rotate(cr, -std::numbers::pi / 2);
  showText(cr, spec.yTitle, 0.0, 0.0, 0.5, 0.5);
  cairo_restore(cr);
  if (!spec.title.empty()) {
    cairo_set_font_size(cr, kTitleSize);
    showText(cr, spec.title, f.left + 0.5 * f.width, 0.5 * f.top, 0.5, 0.5);
  }

  drawLegend(cr, f, spec);

  cairo_surface_flush(surface.get());
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
    throw render::RenderError(std::string("cannot draw the plot: ") +
                              cairo_status_to_string(cairo_status(cr)));
  const cairo_status_t written =
      cairo_surface_write_to_png_stream(surface.get(), writeToStream, out);
  if (written != CAIRO_STATUS_SUCCESS)
    throw render::RenderError(std::string("cannot write the plot: ") +
                              cairo_status_to_string(written));
}

} // namespace curves
