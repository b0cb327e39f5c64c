#include "WindowMain.h"

#include "Pcmain.h"
#include "Recorder.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include <sys/socket.h>
#include <unistd.h>

static int NoDisplay(const char* why) {
    std::fprintf(stderr,
                 "tmx5: cannot open the window: %s; to run the instrument without a display, "
                 "run a scenario headless: tmx5 run examples/tour.tmx\n",
                 why);
    return 2;
}

// A signal handler may do little more than write(2): it writes one byte
// here, and the message loop (or PumpEvents, while the instrument runs)
// reads it and closes the window.
static int SignalSocket[2] = {-1, -1};

static void OnCloseSignal(int) {
    const char byte = 1;
    const ssize_t written = write(SignalSocket[1], &byte, 1);
    (void)written; // nothing can be done about a full socket here
}

// SIGTERM and SIGINT close the window. Null when the socket cannot be made;
// the signals then end the program as they would without this.
static std::unique_ptr<QSocketNotifier> CloseOnSignals(QWidget* window) {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, SignalSocket) != 0) return nullptr;
    std::unique_ptr<QSocketNotifier> notifier(new QSocketNotifier(SignalSocket[0], QSocketNotifier::Read));
    QObject::connect(notifier.get(), &QSocketNotifier::activated, window, [window] {
        char byte;
        const ssize_t got = read(SignalSocket[0], &byte, 1);
        (void)got;
        window->close();
    });
    struct sigaction action = {};
    action.sa_handler = OnCloseSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return notifier;
}

int RunWindow(int argc, char** argv, const char* recordPath) {
    // The recording's file first: a name that cannot be written is a bad
    // command line, said before any window opens.
    std::unique_ptr<Recorder> recorder;
    if (recordPath) {
        std::string why;
        recorder = Recorder::OpenFile(recordPath, &why);
        if (!recorder) {
            std::fprintf(stderr, "tmx5: cannot record to %s: %s\n", recordPath, why.c_str());
            return 2;
        }
    }

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
        form.StartRecording(recorder.get());
        std::unique_ptr<QSocketNotifier> closeSignals = CloseOnSignals(&form);
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
