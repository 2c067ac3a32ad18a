#include "curves/Plot.h"

#include "render/HostSession.h"

#include <algorithm>
#include <array>
#include <cairo.h>
#include <cmath>
#include <fontconfig/fontconfig.h>
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

// Past the palette, colours come round again dashed, then dotted.
void setStyle(cairo_t* cr, std::size_t series, double width) {
  const Rgb& c = kPalette[series % kPalette.size()];
  cairo_set_source_rgb(cr, c.r, c.g, c.b);
  cairo_set_line_width(cr, width);
  static const double kDashes[2][2] = {{7.0, 4.0}, {1.0, 4.0}};
  const std::size_t round = series / kPalette.size();
  if (round == 0)
    cairo_set_dash(cr, nullptr, 0, 0.0);
  else
    cairo_set_dash(cr, kDashes[(round - 1) % 2], 2, 0.0);
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

constexpr double kLegendPad = 8.0, kLegendSample = 26.0, kLegendGap = 8.0, kLegendRow = 19.0,
                 kLegendInset = 10.0;

struct LegendPlace {
  double x = 0.0, y = 0.0, w = 0.0, h = 0.0;
  std::size_t covered = 0; // curve points under the box
};

// The corner of the frame where the legend box covers the fewest curve points.
LegendPlace placeLegend(cairo_t* cr, const Frame& f, const Chart& chart) {
  cairo_set_font_size(cr, kFontSize);
  double textWidth = 0.0;
  for (const auto& s : chart.series) {
    cairo_text_extents_t e;
    cairo_text_extents(cr, s.label.c_str(), &e);
    textWidth = std::max(textWidth, e.x_advance);
  }
  const double w = kLegendPad + kLegendSample + kLegendGap + textWidth + kLegendPad;
  const double h =
      kLegendPad + kLegendRow * static_cast<double>(chart.series.size()) + kLegendPad - 4.0;
  const double right = f.left + f.width - kLegendInset - w, left = f.left + kLegendInset;
  const double top = f.top + kLegendInset, bottom = f.top + f.height - kLegendInset - h;
  LegendPlace best;
  best.covered = std::numeric_limits<std::size_t>::max();
  for (const auto& [x0, y0] : {std::pair{right, top}, std::pair{left, top},
                               std::pair{right, bottom}, std::pair{left, bottom}}) {
    std::size_t covered = 0;
    for (const auto& s : chart.series)
      for (std::size_t i = 0; i < chart.x.size() && i < s.y.size(); ++i) {
        if (!std::isfinite(s.y[i])) continue;
        const double px = f.px(chart.x[i]), py = f.py(s.y[i]);
        if (px >= x0 - 4 && px <= x0 + w + 4 && py >= y0 - 4 && py <= y0 + h + 4) ++covered;
      }
    if (covered < best.covered) best = {x0, y0, w, h, covered};
  }
  return best;
}

void drawLegend(cairo_t* cr, const LegendPlace& at, const Chart& chart) {
  if (chart.series.empty()) return;
  cairo_set_font_size(cr, kFontSize);
  cairo_rectangle(cr, at.x, at.y, at.w, at.h);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.9);
  cairo_fill_preserve(cr);
  cairo_set_source_rgb(cr, 0.7, 0.7, 0.7);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  for (std::size_t i = 0; i < chart.series.size(); ++i) {
    const double cy = at.y + kLegendPad + kLegendRow * (static_cast<double>(i) + 0.5) - 2.0;
    setStyle(cr, i, 2.5);
    cairo_move_to(cr, at.x + kLegendPad, cy);
    cairo_line_to(cr, at.x + kLegendPad + kLegendSample, cy);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    showText(cr, chart.series[i].label, at.x + kLegendPad + kLegendSample + kLegendGap, cy, 0.0,
             0.5);
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

void setFrequencyAxis(Chart& chart) {
  chart.logX = true;
  chart.xMin = 20.0;
  chart.xMax = 20000.0;
  chart.xTicks.clear();
  chart.xTickLabels.clear();
  chart.xMinorTicks.clear();
  for (double decade = 10.0; decade <= 10000.0; decade *= 10.0)
    for (int m = 1; m <= 9; ++m) {
      const double f = m * decade;
      if (f < chart.xMin || f > chart.xMax) continue;
      if (m == 1 || m == 2 || m == 5) {
        chart.xTicks.push_back(f);
        chart.xTickLabels.push_back(f >= 1000.0 ? formatNumber(f / 1000.0) + "k" : formatNumber(f));
      } else {
        chart.xMinorTicks.push_back(f);
      }
    }
}

void writePlot(const Chart& chart, std::FILE* out) {
  // Text is measured on a scratch surface: the legend decides the final width.
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> scratch(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1), cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> measuring(cairo_create(scratch.get()),
                                                               cairo_destroy);
  cairo_select_font_face(measuring.get(), "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                         CAIRO_FONT_WEIGHT_NORMAL);

  double yMin = std::numeric_limits<double>::infinity();
  double yMax = -yMin;
  for (const auto& s : chart.series)
    for (double y : s.y)
      if (std::isfinite(y)) {
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
      }
  Axis axis = niceAxis(yMin, yMax, chart.minYSpan);
  auto frameFor = [&](const Axis& a) {
    return Frame{kMarginLeft,
                 kMarginTop,
                 chart.width - kMarginLeft - kMarginRight,
                 chart.height - kMarginTop - kMarginBottom,
                 chart.xMin,
                 chart.xMax,
                 a.low,
                 a.high,
                 chart.logX};
  };
  // When the legend would hide part of a curve, the range grows by a step or more at the bottom
  // (or top) to make room for it there; failing that, it goes beside the plot.
  LegendPlace legend = placeLegend(measuring.get(), frameFor(axis), chart);
  for (int extra = 1; extra <= 3 && legend.covered > 0; ++extra)
    for (const Axis& a : {Axis{axis.low - extra * axis.step, axis.high, axis.step},
                          Axis{axis.low, axis.high + extra * axis.step, axis.step}}) {
      const LegendPlace there = placeLegend(measuring.get(), frameFor(a), chart);
      if (there.covered == 0) {
        axis = a;
        legend = there;
        break;
      }
    }
  const Frame f = frameFor(axis);
  int width = chart.width;
  if (legend.covered > 0) {
    legend.x = f.left + f.width + kLegendInset + 4.0;
    legend.y = f.top;
    width = static_cast<int>(std::ceil(legend.x + legend.w + kMarginRight));
  }

  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, chart.height), cairo_surface_destroy);
  std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
                                                             cairo_destroy);
  cairo_t* cr = context.get();
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

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
  for (double x : chart.xMinorTicks)
    vertical(x, 0.93);
  for (double x : chart.xTicks)
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
  for (std::size_t i = 0; i < chart.series.size(); ++i) {
    setStyle(cr, i, 2.0);
    strokeSeries(cr, f, chart.x, chart.series[i].y);
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
  for (std::size_t i = 0; i < chart.xTicks.size() && i < chart.xTickLabels.size(); ++i)
    showText(cr, chart.xTickLabels[i], f.px(chart.xTicks[i]), f.top + f.height + 7.0, 0.5, 0.0);
  for (int i = 0; i <= ySteps; ++i) {
    const double y = axis.low + i * axis.step;
    showText(cr, formatNumber(y), f.left - 7.0, f.py(y), 1.0, 0.5);
  }
  showText(cr, chart.xTitle, f.left + 0.5 * f.width, chart.height - 10.0, 0.5, 1.0);
  cairo_save(cr);
  cairo_translate(cr, 18.0, f.top + 0.5 * f.height);
  cairo_rotate(cr, -std::numbers::pi / 2);
  showText(cr, chart.yTitle, 0.0, 0.0, 0.5, 0.5);
  cairo_restore(cr);
  if (!chart.title.empty()) {
    cairo_set_font_size(cr, kTitleSize);
    showText(cr, chart.title, f.left + 0.5 * f.width, 0.5 * f.top, 0.5, 0.5);
  }

  drawLegend(cr, legend, chart);

  cairo_surface_flush(surface.get());
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS)
    throw render::RenderError(std::string("cannot draw the plot: ") +
                              cairo_status_to_string(cairo_status(cr)));
  const cairo_status_t written =
      cairo_surface_write_to_png_stream(surface.get(), writeToStream, out);
  // cairo and fontconfig keep the fonts they looked up for the life of the process; this program
  // draws one plot, so they go with it and leak checkers see a clean exit.
  context.reset();
  surface.reset();
  measuring.reset();
  scratch.reset();
  cairo_debug_reset_static_data();
  FcFini();
  if (written != CAIRO_STATUS_SUCCESS)
    throw render::RenderError(std::string("cannot write the plot: ") +
                              cairo_status_to_string(written));
}

} // namespace curves
