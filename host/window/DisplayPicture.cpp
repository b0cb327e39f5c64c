#include "DisplayPicture.h"

#include "Layout.h"
#include "sim/SimPanel.h"

#include <QDateTime>
#include <QDir>
#include <QPixmap>
#include <QWidget>

QColor UnlitColour(const QWidget* window) {
    // The instrument's unlit colour is the system's inactive-border colour.
    // Qt has no such role; the inactive window background is the nearest:
    // the same light grey as the window face in the classic schemes, and it
    // follows the colour scheme as the border colour does.
    return window->palette().color(QPalette::Inactive, QPalette::Window);
}

// A QImage of Format_RGB32 holds one 0xffRRGGBB word a pixel, the words
// qRgb gives.
static void Magnify(const u8* frame, QImage* image, const QColor& unlit) {
    ColourPicture(frame, Layout::Scale, qRgb(0, 0, 0), unlit.rgb(),
                  reinterpret_cast<uint32_t*>(image->bits()), size_t(image->bytesPerLine() / 4));
}

void PaintDisplay(QImage* canvas, const u8* frame, const QColor& unlit) { Magnify(frame, canvas, unlit); }

QImage DisplayPicture(const u8* frame, const QColor& unlit) {
    QImage picture(LCD_WIDTH * Layout::Scale, LCD_HEIGHT * Layout::Scale, QImage::Format_RGB32);
    Magnify(frame, &picture, unlit);
    return picture;
}

ScreenshotPaths SaveScreenshots(QWidget* window, const u8* frame, const QColor& unlit,
                                const QString& folder) {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QDir dir(folder);
    ScreenshotPaths paths;
    paths.display = dir.filePath(QStringLiteral("tmx5-display-%1.png").arg(stamp));
    paths.face = dir.filePath(QStringLiteral("tmx5-face-%1.png").arg(stamp));
    paths.window = dir.filePath(QStringLiteral("tmx5-window-%1.png").arg(stamp));
    // The display as the window shows it, 2 x 2 image pixels a display pixel.
    if (!DisplayPicture(frame, unlit).save(paths.display, "PNG")) paths.display.clear();
    // The face's own rectangle of the window: the display and the lamp lie
    // on it, as they are shown.
    if (!window->grab(Layout::Image2).save(paths.face, "PNG")) paths.face.clear();
    if (!window->grab().save(paths.window, "PNG")) paths.window.clear();
    return paths;
}
