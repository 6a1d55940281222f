#pragma once
// The data-file commands, "&File readout" and "File &write" of a region or
// of "&All": one open or save dialog and one file read or written a region;
// "&All" chains the three files, each dialog offering the name last chosen
// with its own region's extension. A save asks first when the region holds
// blocks the program never filled, or its last read stopped early.

#include "engine/engine_events.h"
#include "image/controller_image.h"

namespace velora {

class Application;

// Completed when every file was read or saved; Stopped when a dialog was
// cancelled or a question answered No; Failed when a file was refused (its
// message shown). Ignored (None) while a run goes on.
RunOutcome runFileCommand(Application& app, Region region, Action action, bool all);

}  // namespace velora
