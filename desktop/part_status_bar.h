#pragma once
// The status bar: three text parts and a last part that holds the progress
// bar, at the edges the main window computes.

#include <QString>
#include <QWidget>
#include <array>

#include "shell/status_bar_model.h"

class QProgressBar;

namespace velora {

class PartStatusBar : public QWidget {
    Q_OBJECT
  public:
    explicit PartStatusBar(QWidget* parent = nullptr);

    void setEdges(const StatusPartEdges& edges);
    const StatusPartEdges& edges() const { return edges_; }

    // Text of part 0, 1 or 2 as the program gives it (a leading tab centres it).
    void setPartText(int part, const std::string& text);
    QString partText(int part) const;  // as given
    QRect partRect(int part) const;

    QProgressBar* progressBar() const { return progress_; }
    // The text on the progress bar (the time left, or the line at a glance).
    void setProgressText(const std::string& text);
    QString progressText() const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void placeProgressBar();

    StatusPartEdges edges_;
    std::array<QString, 3> texts_;
    QProgressBar* progress_;
};

}  // namespace velora
