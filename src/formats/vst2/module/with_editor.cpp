// Builds with the panel: the editor registers itself with the effect, which
// then reports having one.
#include "editor/ORVEL_GUI.h"
#include "formats/vst2/EditorFactory.h"

AEffEditor* createEditor(AudioEffectX* effect) { return new ORVEL_GUI(effect); }
