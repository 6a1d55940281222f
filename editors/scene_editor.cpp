#include "editors/scene_editor.h"

namespace velora {}  // namespace velora
