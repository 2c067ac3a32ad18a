// A small VST 2.4 host: loads a module file by path, calls its entry point
// with a callback that answers the version query and records every call, and
// drives the effect through its descriptor exactly as a host does.
#pragma once

#include "formats/vst2/vst2abi.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vsthost {

using EntryProc = AEffect* (*)(audioMasterCallback);

// One call the effect made into the host.
struct HostCall {
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  float opt;
  std::string text; // the string argument of audioMasterCanDo
};

// A loaded module file. Unloaded when destroyed.
class Module {
public:
  // Null with a message in *error when the file cannot be loaded or has no entry point.
  static std::unique_ptr<Module> load(const std::string& path, std::string* error = nullptr);
  ~Module();

  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  EntryProc entry() const { return entryPoint; }
  // Looks up any exported symbol (for checking the export table).
  void* symbol(const char* name) const;

private:
  Module() = default;
  void* handle = nullptr;
  EntryProc entryPoint = nullptr;
};

struct HostOptions {
  VstIntPtr versionAnswer = kVstVersion; // answer to audioMasterVersion
  VstIntPtr canDoAnswer = 0;             // answer to audioMasterCanDo
  VstIntPtr editAnswer = 1;              // answer to begin/end edit and automate
};

// One effect instance created from a module.
class Plugin {
public:
  // Calls the entry point. Check valid() afterwards: a module may refuse.
  explicit Plugin(const Module& module, HostOptions options = {});
  ~Plugin(); // closes the effect if still open

  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  bool valid() const { return effect != nullptr; }
  AEffect* aeffect() const { return effect; }

  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  void setParameter(VstInt32 index, float value);
  float getParameter(VstInt32 index);

  std::string parameterName(VstInt32 index);
  std::string parameterLabel(VstInt32 index);
  std::string parameterDisplay(VstInt32 index);
  std::string programName();
  std::string effectName();
  std::string vendorString();
  std::string productString();

  void setSampleRate(float rate);
  void setBlockSize(VstInt32 frames);
  void resume();
  void suspend();

  // Stereo blocks; inputs and outputs are two channel pointers each.
  void process(float** inputs, float** outputs, VstInt32 frames);
  void processDouble(double** inputs, double** outputs, VstInt32 frames);

  // Calls the effect made into the host since creation or the last clear.
  const std::vector<HostCall>& calls() const { return recorded; }
  std::vector<HostCall> callsWithOpcode(VstInt32 opcode) const;
  void clearCalls() { recorded.clear(); }

  // effClose; the effect is gone afterwards. Returns the dispatcher's answer.
  VstIntPtr close();

private:
  static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                            void* ptr, float opt);
  VstIntPtr answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  std::string queryText(VstInt32 opcode, VstInt32 index);

  HostOptions options;
  AEffect* effect = nullptr;
  std::vector<HostCall> recorded;
};

} // namespace vsthost
