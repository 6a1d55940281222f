// The "Edycja" editing model, without a toolkit.

#include <gtest/gtest.h>

#include "editors/scene_editor.h"
