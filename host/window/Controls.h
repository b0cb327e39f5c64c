// The three small widgets the window needs beyond Qt's own: the warning lamp,
// a transparent click area over a button of the face, and the image that
// shows the magnified display.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

// A filled circle with a thin black outline, the warning lamp on the face.
// Outside the circle it is transparent, so the face shows through.
class LampShape : public QWidget {
    Q_OBJECT
public:
    explicit LampShape(QWidget* parent = nullptr);
    QColor fill() const { return fill_; }
    void setFill(const QColor& colour);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QColor fill_;
};

// An invisible area that reports a left click released over it, as a button
// does. Wheel events pass through to the window.
class ClickArea : public QWidget {
    Q_OBJECT
public:
    explicit ClickArea(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    bool pressed_ = false;
};

// An image with a canvas that is written pixel by pixel and painted unscaled
// at the widget's top left.
class CanvasImage : public QWidget {
    Q_OBJECT
public:
    CanvasImage(const QSize& size, const QColor& ground, QWidget* parent = nullptr);
    QImage& canvas() { return canvas_; }
    const QImage& canvas() const { return canvas_; }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QImage canvas_;
};
