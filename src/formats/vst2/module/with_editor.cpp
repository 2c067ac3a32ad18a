// Builds with the panel: the editor registers itself with the effect, which
// then reports having one.
#include "formats/vst2/EditorFactory.h"
#include "formats/vst2/editor/AEffGUIEditor.h"

AEffEditor* createEditor(AudioEffectX* effect) { return new AEffGUIEditor(effect); }
