// Several files with one setting: each input rendered into a directory under its own file name,
// by a few workers at once, each render with its own effect instance.
#pragma once

#include "render/Renderer.h"

#include <atomic>
#include <functional>
#include <string>
#include <vector>

namespace render {

struct BatchJob {
  std::string input;
  std::string output;
};

// DIR/<input's file name> for each input. Throws RenderError when two inputs share a file name,
// since one result would replace the other.
std::vector<BatchJob> batchJobs(const std::vector<std::string>& inputs, const std::string& dir);

struct BatchOutcome {
  bool ok = false;
  std::string message; // the reason, when not ok
  RenderResult result;
};

// Called one at a time (under the batch's lock), from the workers.
struct BatchEvents {
  std::function<void(std::size_t job)> started;
  std::function<void(std::size_t job, sf_count_t done, sf_count_t total)> progress;
  std::function<void(std::size_t job, const BatchOutcome&)> finished;
};

// Renders every job with `workers` threads, each file through a fresh instance of the module,
// so one file's result is the one a single render gives. A failing file is reported in its
// outcome and leaves no output (see renderFile); the others go on. With `cancel` set, running
// renders stop and the rest do not start.
std::vector<BatchOutcome> renderBatch(const std::string& modulePath, bool showTraces,
                                      const std::vector<BatchJob>& jobs,
                                      const RenderSettings& settings, int workers,
                                      const BatchEvents& events,
                                      const std::atomic<bool>* cancel = nullptr);

} // namespace render
