// Builds without the panel: the effect runs without an editor and the
// descriptor's has-editor flag stays clear.
#include "effect/EditorFactory.h"

AEffEditor* createEditor(AudioEffectX* /*effect*/) { return nullptr; }
