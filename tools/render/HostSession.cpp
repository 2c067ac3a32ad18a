#include "render/HostSession.h"

#include <cstdio>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace render {

namespace {

// Modules stay loaded until the process ends, as in most hosts: a module may
// keep objects made when it was loaded in statics, which unloading strands.
// Loading the same path again gives the module already loaded.
const vsthost::Module* loadModule(const std::string& path, std::string* error) {
  static auto* loaded = new std::map<std::string, std::unique_ptr<vsthost::Module>>();
  auto found = loaded->find(path);
  if (found != loaded->end()) return found->second.get();
  auto module = vsthost::Module::load(path, error);
  if (!module) return nullptr;
  return loaded->emplace(path, std::move(module)).first->second.get();
}

// Loading, creating and closing take turns: the module map is shared, and the standard output
// redirection around them is the whole process's, so two batch workers must not interleave it.
std::mutex& lifecycleMutex() {
  static std::mutex mutex;
  return mutex;
}

} // namespace

RedirectStdout::RedirectStdout(bool toStderr) {
  std::fflush(stdout);
  saved = dup(STDOUT_FILENO);
  int target = toStderr ? dup(STDERR_FILENO) : open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (target >= 0) {
    dup2(target, STDOUT_FILENO);
    close(target);
  }
}

RedirectStdout::~RedirectStdout() {
  std::fflush(stdout);
  if (saved >= 0) {
    dup2(saved, STDOUT_FILENO);
    close(saved);
  }
}

HostSession::HostSession(const std::string& modulePath, bool traces) : showTraces(traces) {
  if (access(modulePath.c_str(), F_OK) != 0) throw RenderError("module not found: " + modulePath);
  std::lock_guard lock(lifecycleMutex());
  std::string error;
  RedirectStdout quiet(showTraces);
  // dlopen searches the library path for a bare file name; the user means this directory.
  const bool bare = modulePath.find('/') == std::string::npos;
  const vsthost::Module* module = loadModule(bare ? "./" + modulePath : modulePath, &error);
  if (!module) throw RenderError("cannot load module " + modulePath + ": " + error);
  effect = std::make_unique<vsthost::Plugin>(*module);
  // Close a refused effect while its trace lines are still redirected.
  auto refuse = [this](const std::string& why) {
    effect.reset();
    throw RenderError(why);
  };
  if (!effect->valid()) refuse("module " + modulePath + " created no effect");
  const AEffect* e = effect->aeffect();
  if (e->magic != kEffectMagic) refuse(modulePath + " is not a VST 2.4 effect");
  if (!(e->flags & effFlagsCanReplacing) || e->numOutputs < 1 || e->numInputs < 1)
    refuse(modulePath + " has no replacing audio process with inputs and outputs");
  effect->dispatch(effOpen);
}

HostSession::~HostSession() {
  if (!effect) return;
  std::lock_guard lock(lifecycleMutex());
  RedirectStdout quiet(showTraces);
  stop();
  effect->close();
  effect.reset();
}

bool HostSession::canProcessDouble() const {
  return (effect->aeffect()->flags & effFlagsCanDoubleReplacing) != 0;
}

void HostSession::start(double sampleRate, int blockSize) {
  stop();
  effect->setSampleRate(static_cast<float>(sampleRate));
  effect->setBlockSize(blockSize);
  effect->resume();
  running = true;
}

void HostSession::stop() {
  if (!running) return;
  effect->suspend();
  running = false;
}

} // namespace render
