#pragma once
// The differences a sync found, before it writes: their count, the list in
// the verification's words grouped by region ("what the controller holds <>
// what the show has"), and "Write these N blocks" or "Cancel".

#include <QDialog>

class QPushButton;

namespace velora {

class SyncRun;

class SyncWindow : public QDialog {
    Q_OBJECT
  public:
    SyncWindow(QWidget* parent, const SyncRun& run);

    QPushButton* writeButton() const { return write_; }

  private:
    QPushButton* write_;
};

// Shows the window, modal; true when the user chose to write.
bool confirmSyncWrite(QWidget* parent, const SyncRun& run);

}  // namespace velora
