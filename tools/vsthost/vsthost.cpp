#include "vsthost/vsthost.h"

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vsthost {

namespace {
// The effect calls back before the host knows its descriptor (the version
// query and anything its constructor does); those calls go to the plug-in
// being created on this thread.
thread_local Plugin* constructing = nullptr;

// Generous host buffer for text queries: far more than any interface limit.
constexpr std::size_t kTextBuffer = 256;
} // namespace

std::unique_ptr<Module> Module::load(const std::string& path, std::string* error) {
  std::unique_ptr<Module> module(new Module());
#if defined(_WIN32)
  HMODULE h = LoadLibraryA(path.c_str());
  if (!h) {
    if (error) *error = "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  module->handle = h;
#else
  module->handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module->handle) {
    if (error) *error = dlerror();
    return nullptr;
  }
#endif
  void* entry = module->symbol("VSTPluginMain");
  if (!entry) entry = module->symbol("main");
  if (!entry) {
    if (error) *error = path + " exports neither VSTPluginMain nor main";
    return nullptr;
  }
  module->entryPoint = reinterpret_cast<EntryProc>(entry);
  return module;
}

Module::~Module() {
  if (!handle) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle));
#else
  dlclose(handle);
#endif
}

void* Module::symbol(const char* name) const {
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), name));
#else
  return dlsym(handle, name);
#endif
}

Plugin::Plugin(const Module& module, HostOptions opts) : options(opts) {
  Plugin* outer = constructing;
  constructing = this;
  effect = module.entry() ? module.entry()(&Plugin::callback) : nullptr;
  constructing = outer;
  if (effect) effect->user = this;
}

Plugin::~Plugin() { close(); }

VstIntPtr Plugin::close() {
  if (!effect) return 0;
  VstIntPtr result = effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
  effect = nullptr;
  return result;
}

VstIntPtr Plugin::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                           void* ptr, float opt) {
  Plugin* host = (effect && effect->user) ? static_cast<Plugin*>(effect->user) : constructing;
  return host ? host->answer(opcode, index, value, ptr, opt) : 0;
}

VstIntPtr Plugin::answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  HostCall call{opcode, index, value, opt, {}};
  if (opcode == audioMasterCanDo && ptr) call.text = static_cast<const char*>(ptr);
  recorded.push_back(call);
  switch (opcode) {
  case audioMasterVersion: return options.versionAnswer;
  case audioMasterCanDo: return options.canDoAnswer;
  case audioMasterAutomate:
  case audioMasterBeginEdit:
  case audioMasterEndEdit: return options.editAnswer;
  default: return 0;
  }
}

std::vector<HostCall> Plugin::callsWithOpcode(VstInt32 opcode) const {
  std::vector<HostCall> out;
  for (const auto& c : recorded)
    if (c.opcode == opcode) out.push_back(c);
  return out;
}

VstIntPtr Plugin::dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                           float opt) {
  return effect ? effect->dispatcher(effect, opcode, index, value, ptr, opt) : 0;
}

void Plugin::setParameter(VstInt32 index, float value) {
  if (effect) effect->setParameter(effect, index, value);
}

float Plugin::getParameter(VstInt32 index) {
  return effect ? effect->getParameter(effect, index) : 0.0f;
}

std::string Plugin::queryText(VstInt32 opcode, VstInt32 index) {
  char buffer[kTextBuffer];
  std::memset(buffer, 0, sizeof(buffer));
  dispatch(opcode, index, 0, buffer, 0.0f);
  buffer[kTextBuffer - 1] = '\0';
  return buffer;
}

std::string Plugin::parameterName(VstInt32 index) { return queryText(effGetParamName, index); }
std::string Plugin::parameterLabel(VstInt32 index) { return queryText(effGetParamLabel, index); }
std::string Plugin::parameterDisplay(VstInt32 index) {
  return queryText(effGetParamDisplay, index);
}
std::string Plugin::programName() { return queryText(effGetProgramName, 0); }
std::string Plugin::effectName() { return queryText(effGetEffectName, 0); }
std::string Plugin::vendorString() { return queryText(effGetVendorString, 0); }
std::string Plugin::productString() { return queryText(effGetProductString, 0); }

void Plugin::setSampleRate(float rate) { dispatch(effSetSampleRate, 0, 0, nullptr, rate); }
void Plugin::setBlockSize(VstInt32 frames) { dispatch(effSetBlockSize, 0, frames); }
void Plugin::resume() { dispatch(effMainsChanged, 0, 1); }
void Plugin::suspend() { dispatch(effMainsChanged, 0, 0); }

void Plugin::process(float** inputs, float** outputs, VstInt32 frames) {
  if (effect) effect->processReplacing(effect, inputs, outputs, frames);
}

void Plugin::processDouble(double** inputs, double** outputs, VstInt32 frames) {
  if (effect) effect->processDoubleReplacing(effect, inputs, outputs, frames);
}

} // namespace vsthost
