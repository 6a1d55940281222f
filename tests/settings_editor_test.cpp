// The "SpecEdit" editing model, without a toolkit.

#include <gtest/gtest.h>

#include "editors/settings_editor.h"
