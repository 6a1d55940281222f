#pragma once
// Verification: compares a block read from the controller with the image,
// field by field in wire order, and asks the user about each difference.

#include <cstdint>
#include <span>

#include "image/controller_image.h"
#include "platform/ui.h"

namespace velora {

enum class CompareResult { Continue, EndRun };

// Compares block `address` of `image` with the 128 bytes read. At each
// difference clears `cleanVerification` and shows the difference with Yes
// (go on) and No (end the run at once).
CompareResult compareBlock(const ControllerImage& image, std::uint32_t address,
                           std::span<const std::uint8_t, kBlockSize> read, UserInterface& ui,
                           bool& cleanVerification);

}  // namespace velora
