#pragma once

#include <QLabel>

namespace cw::widgets {

// A label that acts on a click, as the contact labels do: it emits clicked() when the left
// button is released over it, and shows the pointing hand meanwhile.
class ClickableLabel : public QLabel {
    Q_OBJECT
public:
    explicit ClickableLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool m_pressed = false;
};

} // namespace cw::widgets
