#include "app/gui/Pictures.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace cw::app {

AboutMePicture::AboutMePicture(QWidget* parent)
    : QWidget(parent)
{
    setFixedSize(90, 70);
    setCursor(Qt::PointingHandCursor);
    setToolTip(QStringLiteral("About Me"));
    setAccessibleName(QStringLiteral("About Me"));
}

void AboutMePicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(3, 3, -3, -3);
    const qreal radius = 12;

    // A soft shadow under the face, then the face: light green at the top to deep green below,
    // as a raised button; it sinks a little while pressed.
    QPainterPath shadow;
    shadow.addRoundedRect(face.translated(1.5, 2), radius, radius);
    p.fillPath(shadow, QColor(0, 0, 0, 70));

    const QRectF body = m_pressed ? face.translated(1, 1) : face;
    QPainterPath path;
    path.addRoundedRect(body, radius, radius);
    QLinearGradient fill(body.topLeft(), body.bottomLeft());
    fill.setColorAt(0.0, QColor(0x8d, 0xe0, 0x6a));
    fill.setColorAt(0.45, QColor(0x3c, 0xb0, 0x3a));
    fill.setColorAt(1.0, QColor(0x1d, 0x6e, 0x22));
    p.fillPath(path, fill);
    p.setPen(QPen(QColor(0x14, 0x4d, 0x18), 1.2));
    p.drawPath(path);

    // The gloss across the upper half.
    QPainterPath gloss;
    gloss.addRoundedRect(QRectF(body.left() + 4, body.top() + 3, body.width() - 8, body.height() * 0.42),
                         radius - 4, radius - 4);
    QLinearGradient shine(body.topLeft(), QPointF(body.left(), body.top() + body.height() * 0.45));
    shine.setColorAt(0.0, QColor(255, 255, 255, 150));
    shine.setColorAt(1.0, QColor(255, 255, 255, 10));
    p.fillPath(gloss, shine);

    QFont font = this->font();
    font.setBold(true);
    font.setPixelSize(17);
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 90));
    p.drawText(body.translated(1, 1), Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("About\nMe"));
    p.setPen(Qt::white);
    p.drawText(body, Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("About\nMe"));
}

void AboutMePicture::mousePressEvent(QMouseEvent* event)
{
    m_pressed = event->button() == Qt::LeftButton;
    update();
}

void AboutMePicture::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    update();
    if (click)
        emit clicked();
}

BackgroundPicture::BackgroundPicture(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void BackgroundPicture::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF area = rect();

    // Deep blue, lighter towards the upper left, with a few faint rings: a quiet backdrop for
    // the white notice text.
    QLinearGradient base(area.topLeft(), area.bottomRight());
    base.setColorAt(0.0, QColor(0x1f, 0x4e, 0x79));
    base.setColorAt(1.0, QColor(0x0b, 0x1f, 0x3a));
    p.fillRect(area, base);

    QRadialGradient glow(QPointF(area.width() * 0.2, area.height() * 0.15), area.width() * 0.7);
    glow.setColorAt(0.0, QColor(255, 255, 255, 40));
    glow.setColorAt(1.0, QColor(255, 255, 255, 0));
    p.fillRect(area, glow);

    p.setPen(QPen(QColor(255, 255, 255, 18), 1.5));
    const QPointF centre(area.width() * 1.05, area.height() * 1.1);
    for (int ring = 1; ring <= 6; ++ring) {
        const qreal r = area.width() * 0.16 * ring;
        p.drawEllipse(centre, r, r);
    }
}

} // namespace cw::app
