#pragma once
// The "Edycja" dialog over its editing model.

class QWidget;

namespace velora {

struct ControllerImage;
class UserInterface;

// Runs the dialog modally on `image`; returns when it is closed.
void runSceneEditorDialog(QWidget* parent, ControllerImage& image, UserInterface& ui);

}  // namespace velora
