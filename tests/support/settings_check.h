#pragma once
// The programme settings of two images compared field by field, so that a
// failure names the field.

#include <gtest/gtest.h>

#include "image/controller_image.h"

namespace velora::testing {

inline void expectSameSettings(const ControllerImage& actual, const ControllerImage& expected) {
    EXPECT_EQ(actual.endScene, expected.endScene);
    EXPECT_EQ(actual.speedSync, expected.speedSync);
    EXPECT_EQ(actual.fade, expected.fade);
    EXPECT_EQ(actual.cues, expected.cues);
    EXPECT_EQ(actual.specialButtonsMode, expected.specialButtonsMode);
    EXPECT_EQ(actual.slowMode, expected.slowMode);
    EXPECT_EQ(actual.strobeScene, expected.strobeScene);
    EXPECT_EQ(actual.fogScene, expected.fogScene);
    EXPECT_EQ(actual.extraScene, expected.extraScene);
}

}  // namespace velora::testing
