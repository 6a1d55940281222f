// The "MidiEdit" editing model, without a toolkit.

#include <gtest/gtest.h>

#include "editors/midi_editor.h"
