#include "gui/platform/TestHooks.h"

#include "gui/platform/HookState.h"
#include "gui/platform/Platform.h"

#include <cctype>
#include <map>
#include <mutex>
#include <string>

namespace VSTGUI {
namespace {

// Hooks are installed by tests on their main thread; the mutex only keeps the
// counters and the installed functions consistent when tests use threads.
struct Hooks {
  std::mutex mutex;
  std::map<std::string, int> loads;
  testhooks::ResourceSource resources;
  testhooks::TickSource ticks;
  testhooks::SleepHook sleep;
};

Hooks& hooks() {
  static Hooks instance;
  return instance;
}

std::string lowerCase(const char* name) {
  std::string s = name ? name : "";
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

} // namespace

namespace testhooks {

int bitmapLoadCount(const char* name) {
  std::lock_guard lock(hooks().mutex);
  auto it = hooks().loads.find(lowerCase(name));
  return it == hooks().loads.end() ? 0 : it->second;
}

void resetBitmapLoadCounts() {
  std::lock_guard lock(hooks().mutex);
  hooks().loads.clear();
}

void setResourceSource(ResourceSource source) {
  std::lock_guard lock(hooks().mutex);
  hooks().resources = std::move(source);
}

void setTickSource(TickSource source) {
  std::lock_guard lock(hooks().mutex);
  hooks().ticks = std::move(source);
}

void setSleepHook(SleepHook hook) {
  std::lock_guard lock(hooks().mutex);
  hooks().sleep = std::move(hook);
}

} // namespace testhooks

namespace detail {

void countBitmapLoad(const char* name) {
  std::lock_guard lock(hooks().mutex);
  ++hooks().loads[lowerCase(name)];
}

bool loadResource(const char* name, std::vector<unsigned char>& bytes) {
  testhooks::ResourceSource source;
  {
    std::lock_guard lock(hooks().mutex);
    source = hooks().resources;
  }
  return source ? source(name, bytes) : platform::findResource(name, bytes);
}

uint32_t ticks() {
  testhooks::TickSource source;
  {
    std::lock_guard lock(hooks().mutex);
    source = hooks().ticks;
  }
  return source ? source() : platform::getTicks();
}

void sleepMilliseconds(uint32_t ms) {
  testhooks::SleepHook hook;
  {
    std::lock_guard lock(hooks().mutex);
    hook = hooks().sleep;
  }
  if (hook)
    hook(ms);
  else
    platform::sleepMilliseconds(ms);
}

} // namespace detail
} // namespace VSTGUI
