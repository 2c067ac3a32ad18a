#include "render/Batch.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <thread>

namespace render {

namespace fs = std::filesystem;

std::vector<BatchJob> batchJobs(const std::vector<std::string>& inputs, const std::string& dir) {
  std::vector<BatchJob> jobs;
  std::map<std::string, std::string> taken;
  for (const std::string& input : inputs) {
    const std::string name = fs::path(input).filename().string();
    if (name.empty() || name == "." || name == "..")
      throw RenderError("\"" + input + "\" names no file");
    const auto [at, fresh] = taken.emplace(name, input);
    if (!fresh)
      throw RenderError(input + " and " + at->second + " would both be written as " +
                        (fs::path(dir) / name).string());
    jobs.push_back({input, (fs::path(dir) / name).string()});
  }
  return jobs;
}

namespace {

BatchOutcome renderOne(const std::string& modulePath, bool showTraces, const BatchJob& job,
                       const RenderSettings& settings, const ProgressFunction& progress,
                       const std::atomic<bool>* cancel) {
  BatchOutcome outcome;
  try {
    std::error_code ignored;
    if (fs::equivalent(job.input, job.output, ignored))
      throw RenderError(job.output + " is the input itself; choose another output directory");
    HostSession session(modulePath, showTraces);
    outcome.result = renderFile(session, job.input, job.output, settings, progress, cancel);
    outcome.ok = true;
  } catch (const std::exception& e) {
    outcome.message = e.what();
  }
  return outcome;
}

} // namespace

std::vector<BatchOutcome> renderBatch(const std::string& modulePath, bool showTraces,
                                      const std::vector<BatchJob>& jobs,
                                      const RenderSettings& settings, int workers,
                                      const BatchEvents& events, const std::atomic<bool>* cancel) {
  std::vector<BatchOutcome> outcomes(jobs.size());
  std::mutex lock;
  std::atomic<std::size_t> next{0};
  auto work = [&] {
    for (;;) {
      const std::size_t k = next.fetch_add(1);
      if (k >= jobs.size()) return;
      if (cancel && cancel->load()) {
        outcomes[k].message = "interrupted";
        continue;
      }
      {
        std::lock_guard guard(lock);
        if (events.started) events.started(k);
      }
      const ProgressFunction progress = [&, k](sf_count_t done, sf_count_t total) {
        std::lock_guard guard(lock);
        if (events.progress) events.progress(k, done, total);
      };
      BatchOutcome outcome = renderOne(modulePath, showTraces, jobs[k], settings, progress, cancel);
      std::lock_guard guard(lock);
      outcomes[k] = std::move(outcome);
      if (events.finished) events.finished(k, outcomes[k]);
    }
  };
  const auto threads = static_cast<std::size_t>(std::max(1, workers));
  std::vector<std::thread> pool;
  for (std::size_t i = 1; i < std::min(threads, jobs.size()); ++i)
    pool.emplace_back(work);
  work(); // the calling thread is one of the workers
  for (auto& t : pool)
    t.join();
  return outcomes;
}

} // namespace render
