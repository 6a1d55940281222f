#include "editors/settings_editor.h"

namespace velora {}  // namespace velora
