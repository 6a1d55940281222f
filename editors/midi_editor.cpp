#include "editors/midi_editor.h"

namespace velora {}  // namespace velora
