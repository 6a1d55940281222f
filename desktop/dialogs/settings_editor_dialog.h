#pragma once
// The "SpecEdit" dialog over its editing model.

class QWidget;

namespace velora {

struct ControllerImage;
class UserInterface;

// Runs the dialog modally on `image`; returns when it is closed.
void runSettingsEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

}  // namespace velora
