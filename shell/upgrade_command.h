#pragma once
// The upgrade commands, 110 "&Installing" and 111 "&Veryfication": the
// upgrade file is chosen, read and checked whole, the version questions are
// asked, and only then does the run over the firmware records start.
// Nothing goes to the controller unless the whole file was accepted and
// every version question answered Yes.

#include <string>

#include "engine/engine_events.h"

namespace velora {

class Application;

// The command: the open dialog, then the file it chose as below. Running
// once the run started; Stopped when the dialog was cancelled or a version
// question answered No; Failed when there is no port or the file was
// refused (its message shown). Ignored (None) while a run goes on.
RunOutcome startUpgrade(Application& app, bool install);

// The same for the upgrade file `name`, without a dialog (velora-cli).
RunOutcome startUpgradeFrom(Application& app, const std::string& name, bool install);

}  // namespace velora
