#include "Controls.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

LampShape::LampShape(QWidget* parent) : QWidget(parent), fill_(Qt::red) {}

void LampShape::setFill(const QColor& colour) {
    if (colour == fill_) return;
    fill_ = colour;
    update();
}

void LampShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1.0));
    p.setBrush(fill_);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

ClickArea::ClickArea(QWidget* parent) : QWidget(parent) { setCursor(Qt::PointingHandCursor); }

void ClickArea::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) {
        e->ignore();
        return;
    }
    pressed_ = true;
    e->accept();
}

void ClickArea::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || !pressed_) {
        e->ignore();
        return;
    }
    pressed_ = false;
    e->accept();
    if (rect().contains(e->position().toPoint())) emit clicked();
}

CanvasImage::CanvasImage(const QSize& size, const QColor& ground, QWidget* parent)
    : QWidget(parent), canvas_(size, QImage::Format_RGB32) {
    canvas_.fill(ground);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CanvasImage::paintEvent(QPaintEvent* e) {
    QPainter p(this);
    p.drawImage(e->rect(), canvas_, e->rect());
}
