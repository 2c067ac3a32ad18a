// Builds without the panel: the effect runs without an editor and the
// descriptor's has-editor flag stays clear.
#include "formats/vst2/EditorFactory.h"

AEffEditor* createEditor(AudioEffectX* /*effect*/) { return nullptr; }
