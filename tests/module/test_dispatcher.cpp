// The module as a host sees it: descriptor, dispatcher answers, entry point.
#include "FuzzSettings.h"
#include "module/ModuleFixture.h"

#include <cstring>
#include <random>

namespace {

bool moduleHasEditor() { return OMBRINE_HAS_EDITOR != 0; }

} // namespace

TEST_F(ModuleTest, DescriptorFields) {
  const AEffect* e = plugin->aeffect();
  EXPECT_EQ(e->magic, 0x56737450); // 'VstP'
  EXPECT_EQ(e->numInputs, 2);
  EXPECT_EQ(e->numOutputs, 2);
  EXPECT_EQ(e->numParams, 13);
  EXPECT_EQ(e->numPrograms, 1);
  EXPECT_EQ(e->flags, moduleHasEditor() ? 0x1011 : 0x1010);
  EXPECT_EQ(e->uniqueID, 0x52564C58);
  EXPECT_EQ(e->version, 1);
  EXPECT_EQ(e->initialDelay, 0);
  EXPECT_EQ(e->realQualities, 0);
  EXPECT_EQ(e->offQualities, 0);
  EXPECT_FLOAT_EQ(e->ioRatio, 1.0f);
  EXPECT_EQ(e->resvd1, 0);
  EXPECT_EQ(e->resvd2, 0);
  for (char c : e->future)
    EXPECT_EQ(c, 0);
  EXPECT_NE(e->object, nullptr);
  EXPECT_NE(e->processReplacing, nullptr);
  EXPECT_NE(e->processDoubleReplacing, nullptr);
}

TEST(ModuleEntry, OnlyTheTwoEntryNamesAreOneFunction) {
  const auto& module = builtModule();
  void* vst = module.symbol("VSTPluginMain");
  void* legacy = module.symbol("main");
  ASSERT_NE(vst, nullptr);
  EXPECT_EQ(vst, legacy);
  // Nothing of our own classes is visible to the host.
  EXPECT_EQ(module.symbol("_ZN9VST_ORVEL12setParameterEif"), nullptr);
}

TEST(ModuleEntry, HostWithoutVersionGetsNothing) {
  vsthost::HostOptions options;
  options.versionAnswer = 0;
  testing::internal::CaptureStdout();
  vsthost::Plugin plugin(builtModule(), options);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_FALSE(plugin.valid());
  EXPECT_EQ(out, ""); // no parameter object was created
  ASSERT_EQ(plugin.calls().size(), 1u);
  EXPECT_EQ(plugin.calls()[0].opcode, audioMasterVersion);
}

TEST(ModuleEntry, VersionQueryComesFirstWithNoEffect) {
  vsthost::Plugin plugin(builtModule());
  ASSERT_TRUE(plugin.valid());
  ASSERT_FALSE(plugin.calls().empty());
  EXPECT_EQ(plugin.calls()[0].opcode, audioMasterVersion);
}

struct OpcodeCase {
  VstInt32 opcode;
  VstInt32 index;
  VstIntPtr value;
  VstIntPtr expected;
};

class OpcodeAnswers : public ModuleTest, public testing::WithParamInterface<OpcodeCase> {};

TEST_P(OpcodeAnswers, AnswerAsDocumented) {
  const OpcodeCase& c = GetParam();
  char buffer[512] = {};
  EXPECT_EQ(plugin->dispatch(c.opcode, c.index, c.value, buffer, 0.0f), c.expected)
      << "opcode " << c.opcode;
}

// Opcodes whose answer does not depend on an editor or on the buffer passed.
const OpcodeCase kOpcodeCases[] = {
    {effOpen, 0, 0, 0},
    {effSetProgram, 0, 0, 0},
    {effSetProgram, 0, 1, 0},
    {effGetProgram, 0, 0, 0},
    {effSetProgramName, 0, 0, 0},
    {effGetProgramName, 0, 0, 0},
    {effGetParamLabel, 0, 0, 0},
    {effGetParamDisplay, 0, 0, 0},
    {effGetParamName, 0, 0, 0},
    {effGetVu, 0, 0, 0},
    {effSetSampleRate, 0, 0, 0},
    {effSetBlockSize, 0, 512, 0},
    {effMainsChanged, 0, 0, 0},
    {effMainsChanged, 0, 1, 0},
    {effEditDraw, 0, 0, 0},
    {effEditMouse, 0, 0, 0},
    {effEditKey, 0, 0, 0},
    {effEditTop, 0, 0, 0},
    {effEditSleep, 0, 0, 0},
    {effIdentify, 0, 0, 0x4E764566},
    {effGetChunk, 0, 0, 0},
    {effSetChunk, 0, 0, 0},
    {effProcessEvents, 0, 0, 0},
    {effCanBeAutomated, 0, 0, 1},
    {effCanBeAutomated, 12, 0, 1},
    {effCanBeAutomated, 999, 0, 1},
    {effString2Parameter, 0, 0, 0},
    {effGetNumProgramCategories, 0, 0, 0},
    {effGetProgramNameIndexed, 0, 0, 0},
    {effCopyProgram, 0, 0, 0},
    {effConnectInput, 0, 1, 0},
    {effConnectOutput, 0, 1, 0},
    {effGetInputProperties, 0, 0, 0},
    {effGetOutputProperties, 0, 0, 0},
    {effGetPlugCategory, 0, 0, 0},
    {effGetCurrentPosition, 0, 0, 0},
    {effGetDestinationBuffer, 0, 0, 0},
    {effOfflineNotify, 0, 0, 0},
    {effOfflinePrepare, 0, 0, 0},
    {effOfflineRun, 0, 0, 0},
    {effProcessVarIo, 0, 0, 0},
    {effSetSpeakerArrangement, 0, 0, 0},
    {effSetBlockSizeAndSampleRate, 0, 0, 0},
    {effSetBypass, 0, 1, 0},
    {effGetEffectName, 0, 0, 1},
    {effGetErrorText, 0, 0, 0},
    {effGetVendorString, 0, 0, 1},
    {effGetProductString, 0, 0, 1},
    {effGetVendorVersion, 0, 0, 1020},
    {effVendorSpecific, 0, 0, 0},
    {effGetTailSize, 0, 0, 0},
    {effIdle, 0, 0, 0},
    {effGetIcon, 0, 0, 0},
    {effSetViewPosition, 0, 0, 0},
    {effGetParameterProperties, 0, 0, 0},
    {effKeysRequired, 0, 0, 0},
    {effGetVstVersion, 0, 0, 2400},
    {effSetEditKnobMode, 0, 2, 0},
    {effGetMidiProgramName, 0, 0, 0},
    {effGetCurrentMidiProgram, 0, 0, -1},
    {effGetMidiProgramCategory, 0, 0, 0},
    {effHasMidiProgramsChanged, 0, 0, 0},
    {effGetMidiKeyName, 0, 0, 0},
    {effBeginSetProgram, 0, 0, 0},
    {effEndSetProgram, 0, 0, 0},
    {effShellGetNextPlugin, 0, 0, 0},
    {effStartProcess, 0, 0, 0},
    {effStopProcess, 0, 0, 0},
    {effSetTotalSampleToProcess, 0, 4096, 4096},
    {effSetTotalSampleToProcess, 0, -7, -7},
    {effSetPanLaw, 0, 0, 0},
    {effBeginLoadBank, 0, 0, 0},
    {effBeginLoadProgram, 0, 0, 0},
    {effSetProcessPrecision, 0, 1, 0},
    {effGetNumMidiInputChannels, 0, 0, 0},
    {effGetNumMidiOutputChannels, 0, 0, 0},
    {80, 0, 0, 0},
    {81, 3, 7, 0},
    {1000, 0, 0, 0},
    {-1, 0, 0, 0},
};

INSTANTIATE_TEST_SUITE_P(Table, OpcodeAnswers, testing::ValuesIn(kOpcodeCases));

TEST_F(ModuleTest, CanDoAnswersZeroForEveryString) {
  for (const char* text : {"receiveVstMidiEvent", "sizeWindow", "sendVstEvents", "bypass", "",
                           "plugAsChannelInsert", "x"}) {
    std::string s = text;
    EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, s.data()), 0) << text;
  }
  EXPECT_EQ(plugin->dispatch(effCanDo, 0, 0, nullptr), 0);
}

TEST_F(ModuleTest, ResumeAsksTheHostNothing) {
  plugin->clearCalls();
  plugin->resume();
  plugin->suspend();
  EXPECT_TRUE(plugin->calls().empty());
}

TEST_F(ModuleTest, GetChunkOffersNone) {
  void* chunk = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(plugin->dispatch(effGetChunk, 0, 0, &chunk), 0);
  EXPECT_EQ(plugin->dispatch(effGetChunk, 1, 0, &chunk), 0);
}

TEST_F(ModuleTest, SetProgramOutOfRangeIsIgnored) {
  plugin->setParameter(kOutputLevelIndex, 0.25f);
  for (VstIntPtr program : {VstIntPtr{1}, VstIntPtr{-1}, VstIntPtr{1000}}) {
    EXPECT_EQ(plugin->dispatch(effSetProgram, 0, program), 0);
    EXPECT_EQ(plugin->dispatch(effGetProgram), 0);
  }
  EXPECT_FLOAT_EQ(plugin->getParameter(kOutputLevelIndex), 0.25f);
}

TEST_F(ModuleTest, SpeakerArrangementWritesNullIntoBothPointers) {
  auto* sentinel = reinterpret_cast<VstSpeakerArrangement*>(0x1234);
  VstSpeakerArrangement* in = sentinel;
  VstSpeakerArrangement* out = sentinel;
  EXPECT_EQ(plugin->dispatch(effGetSpeakerArrangement, 0, reinterpret_cast<VstIntPtr>(&in), &out),
            0);
  EXPECT_EQ(in, nullptr);
  EXPECT_EQ(out, nullptr);
  // Missing pointers are tolerated.
  EXPECT_EQ(plugin->dispatch(effGetSpeakerArrangement, 0, 0, nullptr), 0);
}

TEST_F(ModuleTest, EditorOpcodesFollowTheEditorsPresence) {
  ERect* rect = nullptr;
  const VstIntPtr answer = plugin->dispatch(effEditGetRect, 0, 0, &rect);
  if (moduleHasEditor()) {
    EXPECT_EQ(answer, 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->right - rect->left, 890);
    EXPECT_EQ(rect->bottom - rect->top, 162);
  } else {
    EXPECT_EQ(answer, 0);
    EXPECT_EQ(plugin->dispatch(effEditOpen, 0, 0, nullptr), 0);
    EXPECT_EQ(plugin->dispatch(effEditClose), 0);
    EXPECT_EQ(plugin->dispatch(effEditIdle), 0);
    EXPECT_EQ(plugin->dispatch(effEditKeyDown, 'a', 0, nullptr, 0.0f), 0);
    EXPECT_EQ(plugin->dispatch(effEditKeyUp, 'a', 0, nullptr, 0.0f), 0);
  }
  EXPECT_EQ(plugin->dispatch(effSetEditKnobMode, 0, 0), 0);
}

TEST_F(ModuleTest, TextOpcodesToleratesNullBuffers) {
  for (VstInt32 op : {effSetProgramName, effGetProgramName, effGetParamLabel, effGetParamDisplay,
                      effGetParamName, effGetEffectName, effGetVendorString, effGetProductString,
                      effString2Parameter, effCanDo, effGetChunk}) {
    EXPECT_EQ(plugin->dispatch(op, 0, 0, nullptr), 0) << "opcode " << op;
  }
}

TEST(ModuleClose, CloseDestroysTheEffectInIndexOrder) {
  vsthost::Plugin plugin(builtModule());
  ASSERT_TRUE(plugin.valid());
  testing::internal::CaptureStdout();
  const VstIntPtr answer = plugin.close();
  const auto lines = splitLines(testing::internal::GetCapturedStdout());
  EXPECT_EQ(answer, 1);
  const std::vector<std::string> expected = {
      "destroy Input level", "destroy Output level",   "destroy Hi Boost",
      "destroy Hi Cut",      "destroy Hi Boost Freq.", "destroy Hi Cut Freq.",
      "destroy Hi Freq. Q",  "destroy Lo Boost",       "destroy Lo Cut",
      "destroy Lo Freq",     "destroy Tube Buffer",    "destroy Equalizer",
      "destroy Mode"};
  EXPECT_EQ(lines, expected);
}

TEST(ModuleLoad, TraceLinesAtLoad) {
  testing::internal::CaptureStdout();
  vsthost::Plugin plugin(builtModule());
  const auto lines = splitLines(testing::internal::GetCapturedStdout());
  ASSERT_TRUE(plugin.valid());
  std::vector<std::string> creates;
  for (const auto& l : lines)
    if (l.rfind("create ", 0) == 0) creates.push_back(l);
  const std::vector<std::string> expected = {
      "create Input level", "create Output level",   "create Hi Boost",
      "create Hi Cut",      "create Hi Boost Freq.", "create Hi Cut Freq.",
      "create Hi Freq. Q",  "create Lo Boost",       "create Lo Cut",
      "create Lo Freq",     "create Equalizer",      "create Tube Buffer",
      "create Mode"};
  EXPECT_EQ(creates, expected);
  // The two equalizers report their control count before the parameters exist.
  std::vector<std::string> expectedAll(2, "#PARAMS: 8");
  expectedAll.insert(expectedAll.end(), expected.begin(), expected.end());
  EXPECT_EQ(lines, expectedAll);
}

// Thousands of random calls through the dispatcher and the parameter
// trampolines, with generous buffers for every opcode that writes through ptr.
// OMBRINE_FUZZ_CALLS and OMBRINE_FUZZ_SEED set the length and the seed.
TEST(ModuleFuzz, RandomCallsDoNotCrash) {
  vsthost::Plugin plugin(builtModule());
  ASSERT_TRUE(plugin.valid());
  std::mt19937 rng(static_cast<std::uint32_t>(fuzz::seed(12345)));
  const std::uint64_t calls = fuzz::calls(20000);
  std::uniform_int_distribution<int> opcodeDist(-5, 90);
  std::uniform_int_distribution<int> indexDist(-20, 40);
  std::uniform_int_distribution<int> kind(0, 9);
  const float specials[] = {0.0f,
                            1.0f,
                            -1.0f,
                            0.5f,
                            2.0f,
                            1e30f,
                            -1e30f,
                            std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::denorm_min()};
  auto randomFloat = [&] {
    if (kind(rng) < 4) return specials[rng() % std::size(specials)];
    return std::uniform_real_distribution<float>(-2.0f, 3.0f)(rng);
  };
  alignas(16) char buffer[1024];
  alignas(16) void* pointers[8];
  std::vector<float> blockStorage(4 * 64);
  float* in[2] = {blockStorage.data(), blockStorage.data() + 64};
  float* out[2] = {blockStorage.data() + 128, blockStorage.data() + 192};
  for (std::uint64_t i = 0; i < calls; ++i) {
    const int op = opcodeDist(rng);
    // effClose ends the instance, effEditOpen needs a real parent window.
    if (op == effClose || op == effEditOpen) continue;
    std::memset(buffer, 'A' + (i % 26), sizeof(buffer));
    buffer[sizeof(buffer) - 1] = '\0';
    if (kind(rng) < 3) buffer[rng() % 40] = '\0';
    std::memset(pointers, 0, sizeof(pointers));
    const VstInt32 index = indexDist(rng);
    VstIntPtr value = static_cast<VstIntPtr>(indexDist(rng));
    void* ptr = buffer;
    if (op == effGetSpeakerArrangement) {
      value = reinterpret_cast<VstIntPtr>(&pointers[0]);
      ptr = &pointers[1];
    } else if (op == effGetChunk || op == effEditGetRect) {
      ptr = &pointers[0];
    }
    plugin.dispatch(op, index, value, ptr, randomFloat());
    plugin.setParameter(indexDist(rng), randomFloat());
    plugin.getParameter(indexDist(rng));
    if (i % 50 == 0) {
      for (auto& s : blockStorage)
        s = randomFloat() * 1e-3f;
      plugin.process(in, out, 64);
    }
  }
  EXPECT_TRUE(plugin.valid());
}
