#include "WindowMain.h"

#include "Pcmain.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>

#include <cstdio>
#include <exception>

static int NoDisplay(const char* why) {
    std::fprintf(stderr,
                 "tmx5: cannot open the window: %s; to run the instrument without a display, "
                 "run a scenario headless: tmx5 run examples/tour.tmx\n",
                 why);
    return 2;
}

int RunWindow(int argc, char** argv) {
    // Qt aborts the program when it cannot open a display, so look first.
    // Without an explicit platform, ask for the display's platform with the
    // offscreen one as a fallback: offscreen then means the display could
    // not be opened, and the program can say so instead of aborting.
    const bool chosenPlatform = !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
    if (!chosenPlatform) {
        const bool x11 = !qEnvironmentVariableIsEmpty("DISPLAY");
        const bool wayland = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        if (!x11 && !wayland) return NoDisplay("no display (DISPLAY and WAYLAND_DISPLAY are not set)");
        QByteArray platforms;
        if (wayland) platforms += "wayland;";
        if (x11) platforms += "xcb;";
        platforms += "offscreen";
        qputenv("QT_QPA_PLATFORM", platforms);
    }

    QApplication app(argc, argv);
    if (!chosenPlatform) {
        qunsetenv("QT_QPA_PLATFORM");
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            return NoDisplay("the display could not be opened");
    }

    try {
        TForm1 form;
        if (QScreen* screen = form.screen()) {
            QRect area = screen->availableGeometry();
            form.move(area.center() - form.rect().center());
        }
        form.show();
        app.exec();
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Solvanta TMX-5"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Solvanta TMX-5"), QStringLiteral("Unknown error."));
    }
    // The instrument keeps nothing, so however the window ended, the
    // program ends normally.
    return 0;
}
