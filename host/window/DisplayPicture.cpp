#include "DisplayPicture.h"

#include "Layout.h"
#include "frames/FrameConvert.h"
#include "lcd/Lcd.h"

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

void PaintDisplay(QImage* canvas, const u8* frame, const QColor& unlitColour) {
    u8 pixels[LCD_HEIGHT][LCD_WIDTH];
    FrameToPixels(frame, pixels);
    const QRgb lit = qRgb(0, 0, 0);
    const QRgb unlit = unlitColour.rgb();
    const int s = Layout::Scale;
    for (int y = 0; y < LCD_HEIGHT; y++) {
        for (int dy = 0; dy < s; dy++) {
            QRgb* row = reinterpret_cast<QRgb*>(canvas->scanLine(y * s + dy));
            for (int x = 0; x < LCD_WIDTH; x++) {
                const QRgb c = pixels[y][x] ? lit : unlit;
                for (int dx = 0; dx < s; dx++) row[x * s + dx] = c;
            }
        }
    }
}

QImage DisplayPicture(const u8* frame, const QColor& unlitColour) {
    u8 pixels[LCD_HEIGHT][LCD_WIDTH];
    FrameToPixels(frame, pixels);
    QImage picture(LCD_WIDTH * 2, LCD_HEIGHT * 2, QImage::Format_RGB32);
    const QRgb unlit = unlitColour.rgb();
    for (int y = 0; y < LCD_HEIGHT * 2; y++)
        for (int x = 0; x < LCD_WIDTH * 2; x++)
            picture.setPixel(x, y, pixels[y / 2][x / 2] ? qRgb(0, 0, 0) : unlit);
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
