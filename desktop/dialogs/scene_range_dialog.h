#pragma once
// The "Zakres" dialog ("Scene range"): the controls of the range layout,
// scaled from dialog units, over the range model.

#include <QDialog>
#include <map>

#include "editors/scene_range.h"

class QLineEdit;
class QPushButton;

namespace velora {

class SceneRangeDialog : public QDialog, public DialogFields {
    Q_OBJECT
  public:
    // Edits `range`; the dialog's result is RangeResult::Chosen or Cancelled.
    SceneRangeDialog(QWidget* parent, SceneRange& range, UserInterface& ui);

    // DialogFields
    std::string fieldText(int id) const override;
    void setFieldText(int id, const std::string& text) override;
    void focusWholeText(int id) override;

    QLineEdit* field(int id) const;
    QPushButton* button(int id) const;

  public slots:
    void reject() override;

  private:
    void pressOk();
    void pressAll();

    SceneRange& range_;
    UserInterface& ui_;
    std::map<int, QLineEdit*> fields_;
    std::map<int, QPushButton*> buttons_;
};

// Pixels per dialog unit for `font`: a quarter of its average character
// width across, an eighth of its height down.
struct DialogUnits {
    double x = 0, y = 0;
};
DialogUnits dialogUnitsOf(const QFont& font);

}  // namespace velora
