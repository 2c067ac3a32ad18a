// The LV2 plug-in's UI binary: the same panel as the VST editor, embedded in the host's window
// (ui:parent), driven by the host's idle calls, talking to the DSP through port writes in port
// units and hearing back through port events.
#include "core/Parameters.h"
#include "editor/ORVEL_GUI.h"
#include "formats/lv2/Lv2Ports.h"

#include <cstring>
#include <lv2/ui/ui.h>
#include <memory>
#include <new>

namespace {

class PanelUi final : public EditController {
public:
  PanelUi(LV2UI_Write_Function write, LV2UI_Controller controller)
      : write(write), controller(controller) {
    for (int i = 0; i < kNumParams; ++i)
      values[i] = parameters::info(i).initial;
  }
  ~PanelUi() override {
    if (panel) panel->close();
  }

  bool open(void* parent) {
    panel = std::make_unique<ORVEL_GUI>(this);
    if (!panel->open(parent) || !panel->getFrame()) return false;
    return true;
  }

  LV2UI_Widget widget() const {
    const auto* platform = panel->getFrame()->getPlatformFrame();
    return platform ? reinterpret_cast<LV2UI_Widget>(platform->getNativeHandle()) : nullptr;
  }

  // A value from the host (the DSP's port): shown, never written back.
  void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (port >= kNumParams || format != 0 || size != sizeof(float) || !buffer) return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    const int index = static_cast<int>(port);
    values[index] = static_cast<float>(parameters::toNormalised(index, value));
    panel->setParameter(index, values[index]);
  }

  int idle() {
    panel->idle();
    return 0;
  }

  float getParameter(int index) override {
    return index >= 0 && index < kNumParams ? values[index] : 0.0f;
  }
  void beginEdit(int index) override { touch(index, true); }
  void performEdit(int index, float value) override {
    if (index < 0 || index >= kNumParams) return;
    values[index] = parameters::clampNormalised(value);
    const float port = static_cast<float>(parameters::toPortValue(index, values[index]));
    write(controller, static_cast<uint32_t>(index), sizeof port, 0, &port);
    // The panel shows what the user chose; the host's port event confirms it.
    panel->setParameter(index, values[index]);
  }
  void endEdit(int index) override { touch(index, false); }

  const LV2UI_Touch* touchFeature = nullptr;

private:
  void touch(int index, bool grabbed) {
    if (touchFeature && index >= 0 && index < kNumParams)
      touchFeature->touch(touchFeature->handle, static_cast<uint32_t>(index), grabbed);
  }

  LV2UI_Write_Function write;
  LV2UI_Controller controller;
  std::unique_ptr<ORVEL_GUI> panel;
  float values[kNumParams] = {};
};

LV2UI_Handle instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                         LV2UI_Write_Function write, LV2UI_Controller controller,
                         LV2UI_Widget* widget, const LV2_Feature* const* features) {
  if (!pluginUri || std::strcmp(pluginUri, lv2ports::kPluginUri) != 0 || !write || !widget)
    return nullptr;
  void* parent = nullptr;
  const LV2UI_Resize* resize = nullptr;
  const LV2UI_Touch* touch = nullptr;
  for (auto f = features; f && *f; ++f) {
    if (!(*f)->URI) continue;
    if (!std::strcmp((*f)->URI, LV2_UI__parent)) parent = (*f)->data;
    if (!std::strcmp((*f)->URI, LV2_UI__resize))
      resize = static_cast<const LV2UI_Resize*>((*f)->data);
    if (!std::strcmp((*f)->URI, LV2_UI__touch)) touch = static_cast<const LV2UI_Touch*>((*f)->data);
  }
  if (!parent) return nullptr; // the panel lives inside the host's window
  auto* ui = new (std::nothrow) PanelUi(write, controller);
  if (!ui) return nullptr;
  ui->touchFeature = touch;
  if (!ui->open(parent)) {
    delete ui;
    return nullptr;
  }
  *widget = ui->widget();
  if (resize && resize->ui_resize)
    resize->ui_resize(resize->handle, ORVEL_GUI::kWidth, ORVEL_GUI::kHeight);
  return ui;
}

void cleanup(LV2UI_Handle handle) { delete static_cast<PanelUi*>(handle); }

void portEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format,
               const void* buffer) {
  static_cast<PanelUi*>(handle)->portEvent(port, size, format, buffer);
}

int idle(LV2UI_Handle handle) { return static_cast<PanelUi*>(handle)->idle(); }

const LV2UI_Idle_Interface kIdle = {idle};

const void* extensionData(const char* uri) {
  return uri && !std::strcmp(uri, LV2_UI__idleInterface) ? &kIdle : nullptr;
}

const LV2UI_Descriptor kDescriptor = {lv2ports::kUiUri, instantiate, cleanup, portEvent,
                                      extensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
