// The "Edycja" dialog under the offscreen platform.

#include <gtest/gtest.h>

#include "desktop/dialogs/scene_editor_dialog.h"
