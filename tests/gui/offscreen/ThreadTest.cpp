// Host parameter changes from another thread while the user-interface thread
// idles, draws, closes and reopens the panel. Run under ThreadSanitizer (the
// tsan preset) this must report nothing; in any build the panel must show the
// latest values after the next idle.
#include "GuiTestSupport.h"
#include "formats/vst2/editor/AEffGUIEditor.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

using namespace VSTGUI;

namespace {

TEST(EditorThreads, AudioThreadSetParameterWhileTheUserInterfaceDraws) {
  guitest::RecordingEffect effect;
  auto* editor = new AEffGUIEditor(&effect);
  ASSERT_TRUE(editor->open(nullptr));

  std::atomic<bool> stop{false};
  std::atomic<int> rounds{0};
  std::thread audio([&] {
    // Sweep every parameter, as automation playback on the audio thread would.
    for (int round = 0; !stop.load(std::memory_order_relaxed); ++round) {
      for (int i = 0; i < guitest::kNumParams; ++i)
        effect.setParameter(i, static_cast<float>((round * 7 + i * 13) % 100) / 99.0f);
      rounds.store(round + 1, std::memory_order_relaxed);
    }
  });

  for (int cycle = 0; cycle < 40; ++cycle) {
    for (int n = 0; n < 5; ++n)
      editor->idle();
    // Closing and reopening while values keep arriving.
    if (cycle % 10 == 9) {
      editor->close();
      ASSERT_TRUE(editor->open(nullptr));
    }
  }
  while (rounds.load(std::memory_order_relaxed) < 50)
    std::this_thread::yield();
  stop.store(true);
  audio.join();

  // The last values are shown after the next idle.
  const std::array<float, guitest::kNumParams> last = {0.0f, 1.0f,  0.5f,  0.99f, 0.5f, 1.0f, 0.3f,
                                                       0.7f, 0.01f, 0.43f, 0.49f, 0.5f, 0.0f};
  std::thread finalValues([&] {
    for (int i = 0; i < guitest::kNumParams; ++i)
      effect.setParameter(i, last[static_cast<std::size_t>(i)]);
  });
  finalValues.join();
  editor->idle();
  const PixelImage drawn = snapshot::capture(*editor->getFrame());
  const PixelImage background = guitest::panelImage("FrontPanel.bmp");
  for (const guitest::ControlLayout& c : guitest::panelLayout()) {
    const float v = last[static_cast<std::size_t>(c.tag)];
    EXPECT_FLOAT_EQ(editor->getPanel()->getControl(c.tag)->getValue(), v);
    const guitest::Match match =
        guitest::bestSubImage(drawn, background, guitest::panelImage(c.image), c);
    EXPECT_EQ(match.subImage, guitest::expectedSubImage(c, v)) << "tag " << c.tag;
  }
  EXPECT_TRUE(effect.calls().empty());
  editor->close();
}

} // namespace
