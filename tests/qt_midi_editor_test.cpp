// The "MidiEdit" dialog under the offscreen platform.

#include <gtest/gtest.h>

#include "desktop/dialogs/midi_editor_dialog.h"
