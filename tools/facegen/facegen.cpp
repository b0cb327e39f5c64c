// Draws the TMX-5 face picture and the program icons with QPainter.
//
//   facegen <face.jpg> <icon.png> [<icon folder>]
//
// The face is 310 x 310 pixels, written as a baseline JPEG; the icon is
// 32 x 32 pixels in 16 colours, written as PNG (it needs a transparent
// ground, which JPEG cannot carry). With an icon folder, facegen also writes
// the desktop icons tmx5-32.png, tmx5-64.png, tmx5-128.png and tmx5-256.png
// there, in full colour: the small two are the program icon drawn at that
// size, the large two the face itself, cut round at the bezel. Every file in
// assets/ comes from this program: change the drawing here and run the
// `facegen_assets` target, never edit the pictures by hand.
//
// Everything the window lays over the face (the lamp, the display frame and
// the three click areas) is placed from host/window/Layout.h, so the painted
// parts always lie under their controls.
#include "window/Layout.h"

#include <QColor>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

#include <cstdio>

namespace {

const QPointF Centre(155.0, 155.0);
const double BezelOuter = 153.0; // metal ring, outer edge
const double FaceRadius = 141.0; // black face inside the ring

QPointF centreOf(const QRect& r) { return QPointF(r.left() + r.width() / 2.0, r.top() + r.height() / 2.0); }

QFont labelFont(const char* family, double pixels, int weight, double spacing) {
    QFont f(family);
    f.setPixelSize(qRound(pixels));
    f.setWeight(QFont::Weight(weight));
    f.setLetterSpacing(QFont::AbsoluteSpacing, spacing);
    f.setHintingPreference(QFont::PreferFullHinting);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

// Text centred on x with its baseline at y.
void centredText(QPainter& p, const QString& text, double x, double baseline) {
    QFontMetricsF fm(p.font());
    // Letter spacing adds after the last glyph too; take it back off.
    double w = fm.horizontalAdvance(text) - p.font().letterSpacing();
    p.drawText(QPointF(qRound(x - w / 2.0), baseline), text);
}

void drawScrew(QPainter& p, QPointF c, double angleDeg) {
    QRadialGradient head(c + QPointF(-1.5, -1.5), 6.0);
    head.setColorAt(0.0, QColor(232, 234, 236));
    head.setColorAt(0.6, QColor(150, 154, 160));
    head.setColorAt(1.0, QColor(84, 88, 94));
    p.setPen(QPen(QColor(30, 32, 35), 0.8));
    p.setBrush(head);
    p.drawEllipse(c, 4.6, 4.6);
    // The slot, turned a little so the four screws do not look stamped.
    double a = qDegreesToRadians(angleDeg);
    QPointF d(3.3 * qCos(a), 3.3 * qSin(a));
    p.setPen(QPen(QColor(45, 47, 50), 1.3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(c - d, c + d);
}

// A square soft key with its marking and arrow (up = true for F1).
void drawSoftKey(QPainter& p, QPointF c, const QString& mark, bool up) {
    const double half = 15.0;
    QRectF body(c.x() - half, c.y() - half, 2 * half, 2 * half);
    // Recess the key sits in.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0));
    p.drawRoundedRect(body.adjusted(-2.0, -2.0, 2.0, 2.5), 6, 6);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0.0, QColor(206, 210, 214));
    g.setColorAt(0.55, QColor(160, 165, 171));
    g.setColorAt(1.0, QColor(112, 117, 124));
    p.setPen(QPen(QColor(40, 42, 46), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(body, 5, 5);
    // Highlight along the top edge.
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.0));
    p.drawLine(QPointF(body.left() + 5, body.top() + 1.5), QPointF(body.right() - 5, body.top() + 1.5));

    p.setPen(QColor(20, 22, 25));
    p.setFont(labelFont("DejaVu Sans", 10, QFont::Bold, 0.3));
    centredText(p, mark, c.x(), c.y() - 1.5);

    QPainterPath arrow;
    double ax = c.x(), ay = c.y() + 6.5;
    if (up) {
        arrow.moveTo(ax, ay - 4.5);
        arrow.lineTo(ax + 6, ay + 3.5);
        arrow.lineTo(ax - 6, ay + 3.5);
    } else {
        arrow.moveTo(ax, ay + 3.5);
        arrow.lineTo(ax + 6, ay - 4.5);
        arrow.lineTo(ax - 6, ay - 4.5);
    }
    arrow.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 22, 25));
    p.drawPath(arrow);
}

void drawMenuKey(QPainter& p, QPointF c) {
    const double r = 16.0;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0));
    p.drawEllipse(c + QPointF(0, 0.5), r + 2.2, r + 2.2);
    QRadialGradient g(c + QPointF(-5, -6), r * 1.6);
    g.setColorAt(0.0, QColor(214, 217, 220));
    g.setColorAt(0.5, QColor(160, 164, 169));
    g.setColorAt(1.0, QColor(96, 100, 106));
    p.setPen(QPen(QColor(40, 42, 46), 1.0));
    p.setBrush(g);
    p.drawEllipse(c, r, r);
    // A shallow dish in the middle of the key.
    QRadialGradient dish(c + QPointF(2, 3), r * 0.7);
    dish.setColorAt(0.0, QColor(150, 154, 159, 0));
    dish.setColorAt(1.0, QColor(120, 124, 130, 90));
    p.setPen(Qt::NoPen);
    p.setBrush(dish);
    p.drawEllipse(c, r * 0.62, r * 0.62);
}

QImage drawFace() {
    QImage img(Layout::Image2.size(), QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Soft shadow of the instrument on the white ground.
    QRadialGradient shadow(Centre + QPointF(0, 2.5), BezelOuter + 2.0);
    shadow.setColorAt(0.93, QColor(0, 0, 0, 70));
    shadow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shadow);
    p.drawEllipse(Centre + QPointF(0, 2.5), BezelOuter + 2.0, BezelOuter + 2.0);

    // Bezel: brushed dark metal lit from the top left, with a bright rim.
    QLinearGradient bezel(Centre + QPointF(-110, -110), Centre + QPointF(110, 110));
    bezel.setColorAt(0.0, QColor(138, 143, 150));
    bezel.setColorAt(0.45, QColor(72, 76, 82));
    bezel.setColorAt(1.0, QColor(28, 30, 33));
    p.setPen(QPen(QColor(20, 21, 23), 1.0));
    p.setBrush(bezel);
    p.drawEllipse(Centre, BezelOuter, BezelOuter);
    QLinearGradient rim(Centre + QPointF(-100, -100), Centre + QPointF(100, 100));
    rim.setColorAt(0.0, QColor(235, 238, 242, 200));
    rim.setColorAt(0.5, QColor(120, 124, 130, 60));
    rim.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setPen(QPen(QBrush(rim), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(Centre, BezelOuter - 1.6, BezelOuter - 1.6);

    // The face: black, a touch lighter towards the top left.
    QRadialGradient face(Centre + QPointF(-45, -60), FaceRadius * 1.5);
    face.setColorAt(0.0, QColor(40, 43, 47));
    face.setColorAt(0.55, QColor(16, 17, 19));
    face.setColorAt(1.0, QColor(4, 4, 5));
    p.setPen(QPen(QColor(0, 0, 0), 2.0));
    p.setBrush(face);
    p.drawEllipse(Centre, FaceRadius, FaceRadius);
    // Inner lip where the ring meets the face.
    QLinearGradient lip(Centre + QPointF(0, -FaceRadius), Centre + QPointF(0, FaceRadius));
    lip.setColorAt(0.0, QColor(0, 0, 0, 200));
    lip.setColorAt(1.0, QColor(110, 114, 120, 160));
    p.setPen(QPen(QBrush(lip), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(Centre, FaceRadius - 1.0, FaceRadius - 1.0);

    for (int i = 0; i < 4; i++) {
        double a = qDegreesToRadians(45.0 + 90.0 * i);
        double r = (BezelOuter + FaceRadius) / 2.0;
        drawScrew(p, Centre + QPointF(r * qCos(a), r * qSin(a)), 20.0 + 37.0 * i);
    }

    // Warning lamp: a chrome collar around a red lens, under Shape1.
    QPointF lamp = centreOf(Layout::Shape1);
    QRadialGradient collar(lamp + QPointF(-4, -4), 18.0);
    collar.setColorAt(0.0, QColor(225, 228, 232));
    collar.setColorAt(0.7, QColor(110, 114, 120));
    collar.setColorAt(1.0, QColor(50, 52, 56));
    p.setPen(QPen(QColor(0, 0, 0), 1.0));
    p.setBrush(collar);
    p.drawEllipse(lamp, 15.5, 15.5);
    QRadialGradient lens(lamp + QPointF(-3, -4), 13.0);
    lens.setColorAt(0.0, QColor(255, 150, 140));
    lens.setColorAt(0.35, QColor(235, 20, 20));
    lens.setColorAt(1.0, QColor(110, 0, 0));
    p.setPen(QPen(QColor(30, 0, 0), 1.0));
    p.setBrush(lens);
    p.drawEllipse(lamp, 11.5, 11.5);

    // Maker's name and the family name above the display.
    const QRect& panel = Layout::Panel1;
    p.setPen(QColor(196, 200, 206));
    p.setFont(labelFont("DejaVu Sans", 9, QFont::Bold, 2.2));
    centredText(p, QStringLiteral("VANTREK AERO"), Centre.x(), 59);
    p.setPen(QColor(250, 250, 250));
    p.setFont(labelFont("DejaVu Sans", 19, QFont::Bold, 1.5));
    centredText(p, QStringLiteral("TMX-5"), Centre.x(), 82);
    // Two fine rules either side of the family name.
    p.setPen(QPen(QColor(150, 30, 30), 1.0));
    p.drawLine(QPointF(96, 75.5), QPointF(117, 75.5));
    p.drawLine(QPointF(193, 75.5), QPointF(214, 75.5));

    // Display window: a dark recess with grey glass where Panel1 lies.
    QRectF recess = QRectF(panel).adjusted(-4.5, -4.5, 4.5, 4.5);
    QLinearGradient recessShade(recess.topLeft(), recess.bottomLeft());
    recessShade.setColorAt(0.0, QColor(0, 0, 0));
    recessShade.setColorAt(1.0, QColor(62, 65, 70));
    p.setPen(QPen(QColor(0, 0, 0), 1.0));
    p.setBrush(recessShade);
    p.drawRoundedRect(recess, 7, 7);
    QLinearGradient glass(QPointF(panel.left(), panel.top()), QPointF(panel.right(), panel.bottom()));
    glass.setColorAt(0.0, QColor(178, 184, 180));
    glass.setColorAt(1.0, QColor(138, 145, 140));
    p.setPen(QPen(QColor(40, 42, 44), 1.0));
    p.setBrush(glass);
    p.drawRoundedRect(QRectF(panel).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);

    // The three keys under the display, inside their click areas. The soft
    // keys sit a little towards the middle so their corners stay on the face.
    QPointF f1 = centreOf(Layout::Image3) + QPointF(2.5, -2.5);
    QPointF menu = centreOf(Layout::Image5);
    QPointF f2 = centreOf(Layout::Image6) + QPointF(-2.5, -2.0);
    drawSoftKey(p, f1, QStringLiteral("F1"), true);
    drawMenuKey(p, menu);
    drawSoftKey(p, f2, QStringLiteral("F2"), false);
    p.setPen(QColor(196, 200, 206));
    p.setFont(labelFont("DejaVu Sans", 8, QFont::Bold, 1.2));
    centredText(p, QStringLiteral("MENU"), menu.x(), menu.y() - 21.0);

    p.end();
    return img;
}

// The program icon, drawn on a 32-unit grid and scaled to size pixels.
QImage drawIcon(int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QPointF c(16, 16);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(96, 100, 106));
    p.drawEllipse(c, 15.5, 15.5);
    p.setBrush(QColor(10, 10, 12));
    p.drawEllipse(c, 13.5, 13.5);
    p.setBrush(QColor(230, 20, 20));
    p.drawEllipse(QPointF(16, 6), 2.2, 2.2);
    p.setBrush(QColor(160, 166, 162));
    p.drawRect(QRectF(6, 10, 20, 11));
    p.setBrush(QColor(20, 20, 20));
    p.drawRect(QRectF(8, 13, 9, 2));
    p.drawRect(QRectF(8, 17, 14, 2));
    p.setBrush(QColor(170, 174, 180));
    p.drawEllipse(QPointF(16, 25), 2.3, 2.3);
    p.drawRect(QRectF(9, 23.5, 3.5, 3.5));
    p.drawRect(QRectF(19.5, 23.5, 3.5, 3.5));
    p.end();
    return img;
}

// The face cut round at the outer edge of the bezel, on a transparent ground,
// scaled to size pixels: the desktop icon at the sizes where the face's own
// keys and lettering still read.
QImage drawFaceIcon(const QImage& face, int size) {
    QImage img(size, size, QImage::Format_ARGB32);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const double scale = size / double(face.width());
    p.scale(scale, scale);
    p.setPen(Qt::NoPen);
    p.setBrush(QBrush(face));
    p.drawEllipse(Centre, BezelOuter + 0.5, BezelOuter + 0.5);
    p.end();
    return img;
}

QImage toSixteenColours(const QImage& argb) {
    // Sixteen colours, the way an instrument icon is stored: transparent plus
    // the greys and reds the icon is drawn with.
    QVector<QRgb> table;
    table << qRgba(0, 0, 0, 0);
    const int greys[] = {10, 20, 40, 70, 96, 130, 160, 170, 200, 230, 255};
    for (int g : greys) table << qRgb(g, g, g);
    table << qRgb(230, 20, 20) << qRgb(150, 20, 20) << qRgb(160, 166, 162) << qRgb(96, 100, 106);
    return argb.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: facegen <face.jpg> <icon.png> [<icon folder>]\n");
        return 2;
    }
    const QImage faceImage = drawFace();
    QImageWriter face(QString::fromLocal8Bit(argv[1]), "jpeg");
    face.setQuality(92);
    face.setProgressiveScanWrite(false); // baseline
    face.setOptimizedWrite(true);
    if (!face.write(faceImage)) {
        std::fprintf(stderr, "facegen: %s: %s\n", argv[1], qPrintable(face.errorString()));
        return 1;
    }
    QImageWriter icon(QString::fromLocal8Bit(argv[2]), "png");
    if (!icon.write(toSixteenColours(drawIcon(32)))) {
        std::fprintf(stderr, "facegen: %s: %s\n", argv[2], qPrintable(icon.errorString()));
        return 1;
    }
    if (argc == 4) {
        for (int size : {32, 64, 128, 256}) {
            const QString name =
                QStringLiteral("%1/tmx5-%2.png").arg(QString::fromLocal8Bit(argv[3])).arg(size);
            QImageWriter out(name, "png");
            if (!out.write(size <= 64 ? drawIcon(size) : drawFaceIcon(faceImage, size))) {
                std::fprintf(stderr, "facegen: %s: %s\n", qPrintable(name), qPrintable(out.errorString()));
                return 1;
            }
        }
    }
    return 0;
}
