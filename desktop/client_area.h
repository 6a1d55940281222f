#pragma once
// The client area of the main window: the background colour and picture.
// Every repaint first refreshes the status-bar texts, so whoever asks for a
// repaint also gets the status bar up to date.

#include <QFrame>
#include <QPixmap>
#include <functional>

namespace velora {

class ClientArea : public QFrame {
    Q_OBJECT
  public:
    ClientArea(QPixmap picture, std::function<void()> refreshStatus, QWidget* parent = nullptr);

    static QColor backgroundColour() { return {241, 245, 247}; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QPixmap picture_;
    QPixmap stretched_;
    std::function<void()> refreshStatus_;
};

// The picture behind the client area, drawn once at start-up.
QPixmap drawBackgroundPicture();

}  // namespace velora
