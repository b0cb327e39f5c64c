// The magnified display as a picture: painted into the window's display
// image, copied to the clipboard, and saved with the screenshots of the
// window, PNG pictures named by the UTC time they were taken
// (tmx5-display-..., tmx5-face-..., tmx5-window-...).
#pragma once

#include "runtime/State.h"

#include <QColor>
#include <QImage>
#include <QString>

class QWidget;

// An unlit display pixel: the window's inactive-border colour.
QColor UnlitColour(const QWidget* window);

// Paints frame into canvas (Format_RGB32), each display pixel a 2 x 2 block
// at the top left, black when lit: the simulated panel's magnified picture
// (sim/SimPanel.h), as the browser page shows it too.
void PaintDisplay(QImage* canvas, const u8* frame, const QColor& unlit);

// The display as the window shows it: each display pixel a 2 x 2 block,
// black when lit, unlit in the colour given.
QImage DisplayPicture(const u8* frame, const QColor& unlit);

struct ScreenshotPaths {
    QString display, face, window; // empty where a file could not be written
};

// Writes the display (from frame, 228 x 128), the face alone (the window's
// face rectangle, with the display and the lamp as shown) and the whole
// window into folder.
ScreenshotPaths SaveScreenshots(QWidget* window, const u8* frame, const QColor& unlit, const QString& folder);
