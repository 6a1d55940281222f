#pragma once
// The program's modal message boxes: exact text and caption, the icon, the
// button set, and the button that Escape and the close box give.

#include <optional>
#include <string>

#include "platform/ui.h"

class QWidget;

namespace velora {

// Escape gives Cancel in a Retry/Cancel box, No in a Yes/No box and Abort in
// an Abort/Retry/Ignore box; the first button is the default one unless
// `defaultButton` names another. A reason, when given, is the box's
// informative text under its fixed text; a detailed text, when given, opens
// below it at the user's wish.
Answer showMessageBox(QWidget* parent, const std::string& text, const std::string& caption, Icon icon,
                      Buttons buttons, const std::string& reason = {},
                      std::optional<Answer> defaultButton = std::nullopt, const std::string& detailed = {});

}  // namespace velora
