#pragma once
// A demonstration show, so that a first read from the emulator shows scenes
// that look like a real one: moving-head sweeps, colour fades and chases over
// the 16 fixtures, end scenes, programmes in manual, auto, music and MIDI
// mode with speeds and fades, cues, STROBE/FOG/EXTRA scenes, slow mode and
// MIDI keys. The same every time.
//
// The fixtures are taken to be 16-channel moving heads: pan, pan fine, tilt,
// tilt fine, dimmer, red, green, blue, white, shutter, gobo, gobo rotation,
// prism, focus, movement speed, control.

#include "emulator/controller_model.h"
#include "image/controller_image.h"

namespace velora {

// Fills `image` (wholly: every field is set) with the demonstration show.
void fillDemoShow(ControllerImage& image);

// Puts the demonstration show into the controller's data memory.
void loadDemoShow(ControllerModel& model);

}  // namespace velora
