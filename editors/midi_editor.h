#pragma once
// The editing model of the "MidiEdit" dialog.

namespace velora {}  // namespace velora
