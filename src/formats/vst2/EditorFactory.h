// The effect creates its editor through this seam, so that effect/ does not
// depend on the toolkit. The module links exactly one definition.
#pragma once

#include "formats/vst2/AudioEffectX.h"

// Returns a new editor for the effect (installed by the editor itself), or
// null when the module is built without one.
AEffEditor* createEditor(AudioEffectX* effect);
