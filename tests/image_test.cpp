#include <gtest/gtest.h>
#include "image/controller_image.h"
