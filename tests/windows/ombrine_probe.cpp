// ombrine-probe: loads a module through the host library and writes down what
// a host sees of it, so that the Linux module and the Windows DLL can be
// compared by running this same program on both and diffing the outputs.
//
//   ombrine-probe dispatch MODULE       descriptor, every dispatcher answer, parameter texts,
//                                       host callbacks, floating-point mode around a block
//   ombrine-probe render MODULE FILE    the renders of ProbeCases.h as raw doubles
//   ombrine-probe resources MODULE      (Windows) the module's resources with size and hash
#include "ProbeCases.h"
#include "vsthost/vsthost.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <xmmintrin.h>

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

std::string printable(const char* text) {
  std::string s;
  for (const char* p = text; *p; ++p)
    s += (*p >= 32 && *p < 127) ? *p : '?';
  return s;
}

void printCalls(const vsthost::Plugin& plugin, const char* label) {
  std::printf("host calls %s:", label);
  for (const auto& c : plugin.calls()) {
    std::printf(" [%d %d %" PRId64 " %.6f", c.opcode, c.index, static_cast<int64_t>(c.value),
                static_cast<double>(c.opt));
    if (!c.text.empty()) std::printf(" \"%s\"", c.text.c_str());
    std::printf("]");
  }
  std::printf("\n");
}

void dumpDescriptor(const AEffect* e) {
  std::printf("magic 0x%08X flags 0x%04X programs %d params %d inputs %d outputs %d\n",
              static_cast<unsigned>(e->magic), static_cast<unsigned>(e->flags), e->numPrograms,
              e->numParams, e->numInputs, e->numOutputs);
  std::printf("initialDelay %d realQualities %d offQualities %d ioRatio %.6f\n", e->initialDelay,
              e->realQualities, e->offQualities, static_cast<double>(e->ioRatio));
  std::printf("uniqueID 0x%08X version %d resvd %" PRId64 " %" PRId64 "\n",
              static_cast<unsigned>(e->uniqueID), e->version, static_cast<int64_t>(e->resvd1),
              static_cast<int64_t>(e->resvd2));
  bool futureZero = true;
  for (char c : e->future)
    futureZero = futureZero && c == 0;
  std::printf("future zero %d user %s object %s\n", futureZero ? 1 : 0, e->user ? "set" : "null",
              e->object ? "set" : "null");
  std::printf("functions dispatcher %d process %d setParameter %d getParameter %d "
              "processReplacing %d processDoubleReplacing %d\n",
              e->dispatcher != nullptr, e->process != nullptr, e->setParameter != nullptr,
              e->getParameter != nullptr, e->processReplacing != nullptr,
              e->processDoubleReplacing != nullptr);
}

// Every opcode a host might send, with harmless arguments; the editor opcodes
// run without a window (the editor then draws into memory).
void dumpOpcodes(vsthost::Plugin& plugin) {
  for (VstInt32 opcode = 0; opcode <= 90; ++opcode) {
    if (opcode == effClose) continue; // last, see below
    char buffer[512];
    std::memset(buffer, 0, sizeof buffer);
    VstIntPtr value = 0;
    void* ptr = buffer;
    VstSpeakerArrangement* inArrangement = reinterpret_cast<VstSpeakerArrangement*>(buffer);
    VstSpeakerArrangement* outArrangement = inArrangement;
    if (opcode == effSetProgramName) std::strcpy(buffer, "Probe name");
    if (opcode == effCanDo) std::strcpy(buffer, "receiveVstMidiEvent");
    if (opcode == effString2Parameter) std::strcpy(buffer, "0.5");
    if (opcode == effEditOpen) ptr = nullptr;
    if (opcode == effGetSpeakerArrangement) {
      value = reinterpret_cast<VstIntPtr>(&inArrangement);
      ptr = &outArrangement;
    }
    const VstIntPtr answer = plugin.dispatch(opcode, 0, value, ptr, 0.0f);
    std::printf("opcode %d -> %" PRId64, opcode, static_cast<int64_t>(answer));
    if (opcode == effEditGetRect) {
      ERect* rect = nullptr;
      std::memcpy(&rect, buffer, sizeof rect);
      if (rect) std::printf(" rect %d %d %d %d", rect->top, rect->left, rect->bottom, rect->right);
    } else if (opcode == effGetSpeakerArrangement) {
      std::printf(" arrangements %s %s", inArrangement ? "set" : "null",
                  outArrangement ? "set" : "null");
    } else if (ptr == buffer && buffer[0] != 0) {
      std::printf(" \"%s\"", printable(buffer).c_str());
    }
    std::printf("\n");
  }
  // Indexed forms of the text queries and the set-program bound.
  std::printf("setProgram 1 -> %" PRId64 " program %" PRId64 "\n",
              static_cast<int64_t>(plugin.dispatch(effSetProgram, 0, 1)),
              static_cast<int64_t>(plugin.dispatch(effGetProgram)));
  for (const char* text : {"sizeWindow", "receiveVstMidiEvent", "sendVstEvents", "bypass", ""}) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s", text);
    std::printf("canDo \"%s\" -> %" PRId64 "\n", text,
                static_cast<int64_t>(plugin.dispatch(effCanDo, 0, 0, buffer)));
  }
  for (VstInt32 opcode : {effEditKeyDown, effEditKeyUp})
    std::printf("key opcode %d closed -> %" PRId64 "\n", opcode,
                static_cast<int64_t>(plugin.dispatch(opcode, 13, 4, nullptr, 0.0f)));
}

void dumpParameters(vsthost::Plugin& plugin) {
  const float values[] = {0.0f, 0.1f, 0.25f, 1.0f / 3.0f, 0.5f, 0.75f, 0.9f, 0.99f, 1.0f};
  for (VstInt32 i = 0; i < probe::kNumParams; ++i) {
    std::printf("param %d \"%s\" \"%s\" initial %.6f \"%s\"\n", i,
                printable(plugin.parameterName(i).c_str()).c_str(),
                printable(plugin.parameterLabel(i).c_str()).c_str(),
                static_cast<double>(plugin.getParameter(i)),
                printable(plugin.parameterDisplay(i).c_str()).c_str());
    const float initial = plugin.getParameter(i);
    for (float v : values) {
      plugin.setParameter(i, v);
      std::printf("  %.6f -> %.6f \"%s\"\n", static_cast<double>(v),
                  static_cast<double>(plugin.getParameter(i)),
                  printable(plugin.parameterDisplay(i).c_str()).c_str());
    }
    plugin.setParameter(i, initial);
  }
}

// The floating-point mode a block sees and leaves behind. MXCSR bits: 0x8000
// flush-to-zero, 0x0040 denormals-are-zero, 0x6000 rounding, 0x003F sticky flags.
void dumpFloatingPointMode(const vsthost::Module& module) {
  volatile double tiny = 1e-310;
  volatile double one = 1.0;
  _mm_setcsr(0x1F80);
  std::printf("host keeps denormals %d\n", (tiny * one) != 0.0 ? 1 : 0);
  for (unsigned caller : {0x1F80u, 0x9FC0u, 0x7F80u}) {
    vsthost::Plugin plugin(module);
    plugin.setSampleRate(44100.0f);
    plugin.resume();
    // Gains 0 dB, equalizer and tube stage out: only the oversampler runs.
    plugin.setParameter(0, 0.5f);
    plugin.setParameter(1, 0.5f);
    plugin.setParameter(10, 0.0f);
    plugin.setParameter(11, 0.0f);
    std::vector<double> left(64, 1e-310), right(64, -3e-309), outL(64, 1.0), outR(64, 1.0);
    double* in[2] = {left.data(), right.data()};
    double* out[2] = {outL.data(), outR.data()};
    _mm_setcsr(caller);
    plugin.processDouble(in, out, 64);
    const unsigned after = _mm_getcsr();
    _mm_setcsr(0x1F80);
    int nonZero = 0;
    for (int i = 0; i < 64; ++i)
      nonZero +=
          (outL[static_cast<std::size_t>(i)] != 0.0) + (outR[static_cast<std::size_t>(i)] != 0.0);
    std::printf("mxcsr caller 0x%04X after 0x%04X restored %d; denormal input gave %d non-zero "
                "outputs\n",
                caller, after & ~0x3Fu, (after & ~0x3Fu) == caller ? 1 : 0, nonZero);
  }
}

int dispatch(const std::string& path) {
  std::string error;
  auto module = vsthost::Module::load(path, &error);
  if (!module) {
    std::fprintf(stderr, "ombrine-probe: %s\n", error.c_str());
    return 1;
  }
  std::printf("entry VSTPluginMain %d main %d same %d\n",
              module->symbol("VSTPluginMain") != nullptr, module->symbol("main") != nullptr,
              module->symbol("VSTPluginMain") == module->symbol("main"));
  std::fflush(stdout);
  {
    vsthost::HostOptions refuse;
    refuse.versionAnswer = 0;
    vsthost::Plugin refused(*module, refuse);
    std::printf("host without version: effect %s\n", refused.valid() ? "created" : "null");
    printCalls(refused, "without version");
  }
  std::fflush(stdout);
  vsthost::Plugin plugin(*module);
  std::fflush(stdout);
  if (!plugin.valid()) {
    std::printf("no effect\n");
    return 1;
  }
  printCalls(plugin, "at creation");
  plugin.clearCalls();
  dumpDescriptor(plugin.aeffect());
  dumpParameters(plugin);
  std::fflush(stdout);
  dumpOpcodes(plugin);
  std::fflush(stdout);
  printCalls(plugin, "during the dispatch");
  plugin.clearCalls();
  std::printf("effClose -> %" PRId64 "\n", static_cast<int64_t>(plugin.close()));
  std::fflush(stdout);
  dumpFloatingPointMode(*module);
  std::fflush(stdout);
  return 0;
}

template <typename Sample>
void renderCase(vsthost::Plugin& plugin, const probe::Case& c, std::FILE* file) {
  std::vector<std::vector<Sample>> in(2), out(2, std::vector<Sample>(probe::kBlockFrames));
  for (int ch = 0; ch < 2; ++ch) {
    const std::vector<double> signal = probe::inputSignal(ch, c.frames, c.rate);
    in[static_cast<std::size_t>(ch)].assign(signal.begin(), signal.end());
  }
  std::vector<double> result[2];
  for (int start = 0; start < c.frames; start += probe::kBlockFrames) {
    if (start >= c.frames / 2 && start - probe::kBlockFrames < c.frames / 2)
      plugin.setParameter(probe::kAutomatedParam, probe::kAutomatedValue);
    const int n = std::min(probe::kBlockFrames, c.frames - start);
    Sample* inputs[2] = {in[0].data() + start, in[1].data() + start};
    Sample* outputs[2] = {out[0].data(), out[1].data()};
    if constexpr (sizeof(Sample) == sizeof(double))
      plugin.processDouble(inputs, outputs, n);
    else
      plugin.process(inputs, outputs, n);
    for (int ch = 0; ch < 2; ++ch)
      result[ch].insert(result[ch].end(), out[static_cast<std::size_t>(ch)].begin(),
                        out[static_cast<std::size_t>(ch)].begin() + n);
  }
  for (const auto& channel : result)
    std::fwrite(channel.data(), sizeof(double), channel.size(), file);
}

int render(const std::string& path, const std::string& output) {
  std::string error;
  auto module = vsthost::Module::load(path, &error);
  if (!module) {
    std::fprintf(stderr, "ombrine-probe: %s\n", error.c_str());
    return 1;
  }
  std::FILE* file = std::fopen(output.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "ombrine-probe: cannot write %s\n", output.c_str());
    return 1;
  }
  for (const probe::Case& c : probe::allCases()) {
    vsthost::Plugin plugin(*module);
    if (!plugin.valid()) return 1;
    plugin.setSampleRate(c.rate);
    plugin.setBlockSize(probe::kBlockFrames);
    plugin.resume();
    const probe::Settings& values = probe::kSettings[static_cast<std::size_t>(c.setting)].values;
    for (int i = 0; i < probe::kNumParams; ++i)
      plugin.setParameter(i, values[static_cast<std::size_t>(i)]);
    plugin.setParameter(12, c.stereo ? 1.0f : 0.0f);
    if (c.doublePrecision)
      renderCase<double>(plugin, c, file);
    else
      renderCase<float>(plugin, c, file);
  }
  const bool ok = std::fclose(file) == 0;
  std::fflush(stdout);
  return ok ? 0 : 1;
}

#if defined(_WIN32)
uint64_t fnv1a(const unsigned char* data, std::size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 0x100000001b3ull;
  }
  return hash;
}

BOOL CALLBACK listLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR) {
  HRSRC info = FindResourceExA(module, type, name, language);
  HGLOBAL loaded = info ? LoadResource(module, info) : nullptr;
  const auto* bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  const DWORD size = info ? SizeofResource(module, info) : 0;
  std::printf("resource %s %s %u %lu %016" PRIx64 "\n", IS_INTRESOURCE(type) ? "#" : type,
              IS_INTRESOURCE(name) ? "#" : name, static_cast<unsigned>(language),
              static_cast<unsigned long>(size), bytes ? fnv1a(bytes, size) : 0);
  return TRUE;
}

BOOL CALLBACK listName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR) {
  EnumResourceLanguagesA(module, type, name, listLanguage, 0);
  return TRUE;
}

BOOL CALLBACK listType(HMODULE module, LPSTR type, LONG_PTR) {
  EnumResourceNamesA(module, type, listName, 0);
  return TRUE;
}

int resources(const std::string& path) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    std::fprintf(stderr, "ombrine-probe: cannot load %s (error %lu)\n", path.c_str(),
                 static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  EnumResourceTypesA(module, listType, 0);
  // Lookups the way the editor makes them: mixed-case names, type "PNG".
  for (const char* name : {"FrontPanel.bmp", "bakeliteknob.png", "Missing.png"}) {
    SetLastError(0);
    HRSRC info = FindResourceA(module, name, "PNG");
    std::printf("lookup %s %s error %lu\n", name, info ? "found" : "missing",
                static_cast<unsigned long>(info ? 0 : GetLastError()));
  }
  FreeLibrary(module);
  return 0;
}
#endif

} // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // Byte-identical output on both platforms: no CR before each LF.
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "dispatch" && argc == 3) return dispatch(argv[2]);
  if (command == "render" && argc == 4) return render(argv[2], argv[3]);
#if defined(_WIN32)
  if (command == "resources" && argc == 3) return resources(argv[2]);
#endif
  std::fprintf(stderr, "usage: ombrine-probe dispatch MODULE | render MODULE FILE"
#if defined(_WIN32)
                       " | resources MODULE"
#endif
                       "\n");
  return 2;
}
