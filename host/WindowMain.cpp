#include "WindowMain.h"

#include "Pcmain.h"
#include "script/CommandLine.h"
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

bool ParseWindowOptions(int count, char** args, WindowOptions* options, std::string* error) {
    std::vector<OptionValue> values;
    if (!ParseOptions(FOR_WINDOW, std::vector<std::string>(args, args + count), &values, nullptr, error))
        return false;
    for (const OptionValue& v : values) {
        switch (v.row->id) {
            case OPT_RECORD:
                options->record = true;
                options->recordPath = v.text;
                break;
            case OPT_UTC:
                options->utc = (long long)v.number;
                options->utcGiven = true;
                break;
            case OPT_SPEED:
                options->speed = v.word ? 0 : v.number; // the word is "fastest"
                break;
            case OPT_PAUSED:
                options->paused = true;
                break;
            case OPT_TOOLS:
                options->tools = true;
                break;
            case OPT_SCALE:
                options->scale = (int)v.number;
                break;
            case OPT_LOAD_STATE:
                options->load = true;
                options->loadState = v.text;
                break;
            default: // the runner's options are not looked up for the window
                break;
        }
    }
    return true;
}

int RunWindow(int argc, char** argv, const WindowOptions& options) {
    // A saved state is read whole and checked before any window opens.
    InstrumentSnapshot saved;
    if (options.load) {
        std::string why;
        if (!ReadStateFile(options.loadState.c_str(), &saved, &why)) {
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
    if (options.record) {
        std::string why;
        recorder = Recorder::OpenFile(options.recordPath, &why);
        if (!recorder) {
            std::fprintf(stderr, "tmx5: cannot record to %s: %s\n", options.recordPath.c_str(), why.c_str());
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
        if (options.load) session.PutBackState(saved);
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
