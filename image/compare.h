#pragma once
// Verification: compares a block read from the controller with the image,
// field by field in wire order, and asks the user about each difference.
// A sync judges blocks by the same comparison, without asking.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "image/controller_image.h"
#include "platform/ui.h"

namespace velora {

enum class CompareResult { Continue, EndRun };

// Compares block `address` of `image` with the 128 bytes read, field by
// field in wire order, and hands each difference, in the verification's
// message, to `difference`; stops as soon as that returns false. False when
// it was stopped so. The one home of what the verification compares: the
// compared fields only, the slow mode by on or off, the special buttons mode
// as 16 bits against the byte read.
bool forEachDifference(const ControllerImage& image, std::uint32_t address,
                       std::span<const std::uint8_t, kBlockSize> read,
                       const std::function<bool(const std::string&)>& difference);

// True when the verification would find a difference in block `address`.
bool blockDiffers(const ControllerImage& image, std::uint32_t address,
                  std::span<const std::uint8_t, kBlockSize> read);

// Compares block `address` of `image` with the 128 bytes read. At each
// difference clears `cleanVerification` and shows the difference with Yes
// (go on) and No (end the run at once).
CompareResult compareBlock(const ControllerImage& image, std::uint32_t address,
                           std::span<const std::uint8_t, kBlockSize> read, UserInterface& ui,
                           bool& cleanVerification);

}  // namespace velora
