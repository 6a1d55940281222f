// The "SpecEdit" dialog under the offscreen platform.

#include <gtest/gtest.h>

#include "desktop/dialogs/settings_editor_dialog.h"
