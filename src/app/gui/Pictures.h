#pragma once

#include <QWidget>

namespace cw::app {

// The main window's two pictures, drawn in code so that they stay sharp at any scale factor.

// A green button face with the words "About Me", 90 x 70 device-independent pixels; clicking it
// opens the About window.
class AboutMePicture : public QWidget {
    Q_OBJECT
public:
    explicit AboutMePicture(QWidget* parent = nullptr);
    QSize sizeHint() const override { return {90, 70}; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

// The decorative background behind the main window's controls.
class BackgroundPicture : public QWidget {
    Q_OBJECT
public:
    explicit BackgroundPicture(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace cw::app
