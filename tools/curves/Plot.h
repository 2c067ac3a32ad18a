// A line plot drawn the way a manual's figure would be: white ground, light grid, labelled axes,
// one colour per curve and a legend placed where it hides the least.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace curves {

struct PlotSeries {
  std::string label;
  std::vector<double> y; // one value per x
};

struct Chart {
  std::string title;
  std::string xTitle;
  std::string yTitle;
  bool logX = false;
  double xMin = 0.0;
  double xMax = 1.0;
  std::vector<double> xTicks; // labelled grid lines
  std::vector<std::string> xTickLabels;
  std::vector<double> xMinorTicks; // unlabelled lighter grid lines
  std::vector<double> x;
  std::vector<PlotSeries> series;
  double minYSpan = 6.0; // a flat curve is not magnified into noise
  int width = 900;
  int height = 500;
};

// The y axis: a range in whole steps of 1, 2 or 5 times a power of ten, around the values.
struct Axis {
  double low = 0.0;
  double high = 0.0;
  double step = 0.0;
};
Axis niceAxis(double minimum, double maximum, double minSpan);

// The frequency axis from 20 Hz to 20 kHz: 20, 50, 100, 200, 500, 1k, ... labelled, the other
// multiples of each decade as minor lines.
void setFrequencyAxis(Chart& chart);

// Writes the plot as PNG to the stream. Throws render::RenderError.
void writePlot(const Chart& chart, std::FILE* out);

} // namespace curves
