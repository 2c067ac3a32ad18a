// One effect instance opened the way a host opens it, for the offline tools.
#pragma once

#include "vsthost/vsthost.h"

#include <memory>
#include <stdexcept>
#include <string>

namespace render {

// A failure the user can act on (bad file, bad parameter, module that will not
// load); the message is printed as it stands.
class RenderError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// While alive, the process's standard output goes to /dev/null (or to standard
// error). The module writes a trace line for each parameter object it creates
// or destroys; the tools keep their own standard output free of it.
class RedirectStdout {
public:
  explicit RedirectStdout(bool toStderr);
  ~RedirectStdout();
  RedirectStdout(const RedirectStdout&) = delete;
  RedirectStdout& operator=(const RedirectStdout&) = delete;

private:
  int saved = -1;
};

class HostSession {
public:
  // Loads the module file and creates one effect: open, then nothing else.
  // Throws RenderError when the file cannot be loaded or creates no effect.
  // With showTraces the module's own output goes to standard error.
  explicit HostSession(const std::string& modulePath, bool showTraces = false);
  ~HostSession(); // suspends if running, then closes the effect

  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  vsthost::Plugin& plugin() { return *effect; }
  const AEffect& descriptor() const { return *effect->aeffect(); }
  bool canProcessDouble() const;

  // Host start-up sequence before the first block: rate, block size, resume.
  void start(double sampleRate, int blockSize);
  void stop();

private:
  bool showTraces;
  std::unique_ptr<vsthost::Module> module; // outlives the effect
  std::unique_ptr<vsthost::Plugin> effect;
  bool running = false;
};

} // namespace render
