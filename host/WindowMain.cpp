#include "WindowMain.h"

#include "Pcmain.h"
#include "script/ScriptCommands.h"
#include "state/StateFile.h"
#include "window/Recorder.h"
#include "window/SessionRecording.h"
#include "window/SimControls.h"
#include "window/WindowSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
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

// "YYYY-MM-DD HH:MM:SS", read as the script command utc reads its two words.
static bool ParseUtc(const char* text, long long* seconds) {
    const std::string t = text;
    return t.size() == 19 && t[10] == ' ' && ParseScriptUtc(t.substr(0, 10), t.substr(11), seconds);
}

static bool ParseWhole(const char* text, long min, long max, long* value) {
    if (!*text) return false;
    for (const char* c = text; *c; c++)
        if (*c < '0' || *c > '9') return false;
    if (std::strlen(text) > 9) return false;
    *value = std::strtol(text, nullptr, 10);
    return *value >= min && *value <= max;
}

bool ParseWindowOptions(int count, char** args, WindowOptions* options, std::string* error) {
    for (int i = 0; i < count; i++) {
        const std::string option = args[i];
        const bool takesValue = option == "--record" || option == "--utc" || option == "--speed" ||
                                option == "--scale" || option == "--load-state";
        if (takesValue && i + 1 >= count) {
            *error = option + " needs a value";
            return false;
        }
        const char* value = takesValue ? args[++i] : nullptr;
        long n;
        if (option == "--record") {
            options->recordPath = value;
        } else if (option == "--utc") {
            if (!ParseUtc(value, &options->utc)) {
                *error = std::string(
                             "--utc takes a UTC date and time \"YYYY-MM-DD HH:MM:SS\" from 1970 to 2099, "
                             "not \"") +
                         value + "\"";
                return false;
            }
            options->utcGiven = true;
        } else if (option == "--speed") {
            if (std::strcmp(value, "fastest") == 0) {
                options->speed = 0;
            } else if (ParseWhole(value, 1, 100000, &n)) {
                options->speed = (double)n;
            } else {
                *error = std::string("--speed takes a whole number from 1 to 100000 or \"fastest\", not \"") +
                         value + "\"";
                return false;
            }
        } else if (option == "--scale") {
            if (!ParseWhole(value, 1, 4, &n)) {
                *error = std::string("--scale takes a whole number from 1 to 4, not \"") + value + "\"";
                return false;
            }
            options->scale = (int)n;
        } else if (option == "--load-state") {
            options->loadState = value;
        } else if (option == "--paused") {
            options->paused = true;
        } else if (option == "--tools") {
            options->tools = true;
        } else {
            *error = "unknown option " + option;
            return false;
        }
    }
    return true;
}

int RunWindow(int argc, char** argv, const WindowOptions& options) {
    // A saved state is read whole and checked before any window opens.
    InstrumentSnapshot saved;
    if (options.loadState) {
        std::string why;
        if (!ReadStateFile(options.loadState, &saved, &why)) {
            std::fprintf(stderr, "tmx5: --load-state: %s\n", why.c_str());
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
    // The whole window magnified by a whole factor; pictures are drawn
    // unsmoothed, so pixels stay crisp.
    if (options.scale > 1) qputenv("QT_SCALE_FACTOR", QByteArray::number(options.scale));

    QApplication app(argc, argv);
    if (!chosenPlatform) {
        qunsetenv("QT_QPA_PLATFORM");
        if (QGuiApplication::platformName() == QLatin1String("offscreen"))
            return NoDisplay("the display could not be opened");
    }

    // The display is there: only now is the recording's file made.
    std::unique_ptr<Recorder> recorder;
    if (options.recordPath) {
        std::string why;
        recorder = Recorder::OpenFile(options.recordPath, &why);
        if (!recorder) {
            std::fprintf(stderr, "tmx5: cannot record to %s: %s\n", options.recordPath, why.c_str());
            return 2;
        }
    }

    int code = 0;
    try {
        TForm1 form;
        WindowSession& session = form.Session();
        if (QScreen* screen = form.screen()) {
            QRect area = screen->availableGeometry();
            form.move(area.center() - form.rect().center());
        }
        if (options.loadState) session.PutBackState(saved);
        if (options.utcGiven) session.SetUtc(options.utc);
        if (options.speed != 1) session.SetSpeed(options.speed);
        if (options.paused) session.SetPaused(true);
        session.Recording().SetCloseOnError(true);
        session.Recording().Start(recorder.get());
        SimControls* tools = nullptr;
        auto showTools = [&form, &tools] {
            if (!tools) tools = new SimControls(&form.Session(), &form, &form);
            tools->show();
            tools->raise();
            tools->activateWindow();
        };
        QObject::connect(&form, &TForm1::ToolsRequested, &form, showTools);
        // The context menu's screenshot and recording are the controls' own.
        QObject::connect(&form, &TForm1::ScreenshotRequested, &form, [&] {
            showTools();
            tools->TakeScreenshots();
        });
        QObject::connect(&form, &TForm1::RecordRequested, &form, [&] {
            showTools();
            tools->RecordClicked();
        });
        std::unique_ptr<QSocketNotifier> closeSignals = CloseOnSignals(&form);
        form.show();
        if (options.tools) showTools();
        QElapsedTimer wall;
        wall.start();
        app.exec();
        if (!session.Recording().Error().empty()) code = 1;
        // For measurements (tests/window/window_perf.sh): how fast the
        // simulated clock ran, and how often the display was painted.
        if (!qEnvironmentVariableIsEmpty("TMX5_WINDOW_STATS")) {
            const double seconds = wall.nsecsElapsed() / 1e9;
            std::fprintf(stderr,
                         "tmx5: %.3f s of virtual time in %.3f s of wall time (%.0fx), %llu event points, "
                         "%llu repaints\n",
                         session.Sim().NowMs() / 1000.0, seconds, session.Sim().NowMs() / 1000.0 / seconds,
                         (unsigned long long)session.EventPoints(), (unsigned long long)session.Repaints());
        }
    } catch (const std::exception& e) {
        QMessageBox::critical(nullptr, QStringLiteral("Solvanta TMX-5"), QString::fromLocal8Bit(e.what()));
    } catch (...) {
        QMessageBox::critical(nullptr, QStringLiteral("Solvanta TMX-5"), QStringLiteral("Unknown error."));
    }
    // The instrument keeps nothing, so however the window ended, the
    // program ends normally, unless its recording could not be written.
    return code;
}
