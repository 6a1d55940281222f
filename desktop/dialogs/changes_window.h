#pragma once
// The changes window: every difference between the show as it last was in
// step and the image, grouped by region with their counts. It stays open
// beside the main window and is shown afresh whenever the changes are
// counted again.

#include <QWidget>
#include <string>
#include <vector>

#include "files/show_differences.h"

class QLabel;
class QTreeWidget;

namespace velora {

class ChangesWindow : public QWidget {
    Q_OBJECT
  public:
    explicit ChangesWindow(QWidget* parent);

    // Shows `changes`; the same list again leaves the window as it is (the
    // groups the user opened or closed, the place scrolled to).
    void setChanges(const ImageDifferences& changes);

    QLabel* heading() const { return heading_; }
    QTreeWidget* list() const { return list_; }

  private:
    QLabel* heading_;
    QTreeWidget* list_;
    std::vector<std::string> shown_;
    bool shownOnce_ = false;
};

}  // namespace velora
