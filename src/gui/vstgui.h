// Everything an editor needs from the toolkit.
#pragma once

#include "gui/CAnimKnob.h"
#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CFontDesc.h"
#include "gui/CFrame.h"
#include "gui/COnOffButton.h"
#include "gui/CTextLabel.h"
#include "gui/KeyEvent.h"
#include "gui/VSTGUIEditorInterface.h"
