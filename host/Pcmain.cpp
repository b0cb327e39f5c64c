#include "Pcmain.h"

#include "frames/FrameConvert.h"
#include "frames/FrameFiles.h"
#include "frames/SafeFiles.h"
#include "lcd/Lcd.h"
#include "runtime/Runtime.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"
#include "state/StateFile.h"
#include "window/Controls.h"
#include "window/Layout.h"
#include "window/Recorder.h"
#include "window/WindowPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QWheelEvent>

#include <QDateTime>
#include <QDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

// The face and icon are built into tmx5window, a static library, whose
// resource initialiser the linker would otherwise drop.
static void LoadWindowResources() { Q_INIT_RESOURCE(window); }

namespace {

// One notch of a mouse wheel, in the eighths of a degree Qt reports.
const int WheelNotch = 120;

// Running flat out, the window still handles its events this often, and
// repaints the display at most this often.
const qint64 EventsEveryNs = 4000000;
const qint64 PresentEveryNs = 1000000000 / 60;
// A pacer this far off its timeline (the machine slept, the computer's clock
// was set) starts a new one instead of running a burst of frames or
// stalling.
const qint64 ResyncLimitNs = 1000000000;

// The face picture is stored as a JPEG and decoded by Qt's JPEG plugin; the
// window is still usable without it, so a missing plugin is only reported.
QPixmap LoadFace() {
    QImageReader reader(QStringLiteral(":/tmx5/face.jpg"), "jpeg");
    QImage face = reader.read();
    if (face.isNull())
        std::fprintf(stderr,
                     "tmx5: the face picture cannot be shown: %s (Qt's JPEG image plugin "
                     "libqjpeg comes with the package libqt6gui6)\n",
                     qPrintable(reader.errorString()));
    return QPixmap::fromImage(face);
}

// Label15 is 24 pixels wide, made for four digits of the panel font. The
// default sans is wider; narrow the label's font until "4096" fits, first by
// the condensed face, then by whole pixels.
void FitDigits(QLabel* label) {
    QFont f = label->font();
    const QString widest = QStringLiteral("4096");
    if (QFontMetrics(f).horizontalAdvance(widest) <= label->width()) return;
    f.setStretch(QFont::Condensed);
    while (QFontMetrics(f).horizontalAdvance(widest) > label->width() && f.pixelSize() > 8)
        f.setPixelSize(f.pixelSize() - 1);
    label->setFont(f);
}

} // namespace

TForm1::TForm1(QWidget* parent, Pacer::WallClock wall, void* wallContext)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      pacer_(wall, wallContext) {
    LoadWindowResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Solvanta TMX-5"));
    setWindowIcon(QIcon(QStringLiteral(":/tmx5/icon.png")));
    setFixedSize(Layout::ClientWidth, Layout::ClientHeight);
    // The instrument's panel font, MS Sans Serif, does not exist on Linux:
    // the toolkit's default sans serif at the same 11 pixels stands in.
    QFont font = QApplication::font();
    font.setPixelSize(11);
    setFont(font);
    // The window itself takes the keyboard; only the track bar can take the
    // focus from it, so the arrows reach the knob unless the track bar has it.
    setFocusPolicy(Qt::StrongFocus);

    auto place = [this](QWidget* w, const char* name, const QRect& where) {
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(where);
        return w;
    };

    Image2 = new QLabel(this);
    place(Image2, "Image2", Layout::Image2);
    Image2->setPixmap(LoadFace());
    Image2->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Label15 = new QLabel(QStringLiteral("2048"), this);
    place(Label15, "Label15", Layout::Label15);
    FitDigits(Label15);

    Shape1 = new LampShape(this);
    place(Shape1, "Shape1", Layout::Shape1);

    Image3 = new ClickArea(this);
    place(Image3, "Image3", Layout::Image3);
    Image3->setToolTip(QStringLiteral("F1, up: key F1"));
    Image5 = new ClickArea(this);
    place(Image5, "Image5", Layout::Image5);
    Image5->setToolTip(QStringLiteral("MENU: Return or Space"));
    Image6 = new ClickArea(this);
    place(Image6, "Image6", Layout::Image6);
    Image6->setToolTip(QStringLiteral("F2, down: key F2"));

    Label11 = new QLabel(QStringLiteral("OAT"), this);
    place(Label11, "Label11", Layout::Label11);

    Button1 = new QPushButton(QStringLiteral("ON"), this);
    place(Button1, "Button1", Layout::Button1);
    Button2 = new QPushButton(QStringLiteral("OFF"), this);
    place(Button2, "Button2", Layout::Button2);

    TrackBar6 = new QSlider(Qt::Horizontal, this);
    place(TrackBar6, "TrackBar6", Layout::TrackBar6);
    TrackBar6->setRange(0, 4096);
    TrackBar6->setValue(2048);
    TrackBar6->setTickPosition(QSlider::NoTicks);

    StatusBar1 = new QStatusBar(this);
    place(StatusBar1, "StatusBar1", Layout::StatusBar1);
    StatusBar1->setSizeGripEnabled(false);

    // The display's frame: Qt has no scroll-bar colour, the palette's Mid
    // grey gives the same thin darker edge around the display.
    Panel1 = new QFrame(this);
    place(Panel1, "Panel1", Layout::Panel1);
    Panel1->setAutoFillBackground(true);
    {
        QPalette pal = Panel1->palette();
        pal.setColor(QPalette::Window, pal.color(QPalette::Mid));
        Panel1->setPalette(pal);
    }
    Image1 = new CanvasImage(Layout::Image1.size(), UnlitColour(), Panel1);
    place(Image1, "Image1", Layout::Image1);

    CheckBox2 = new QCheckBox(QStringLiteral("Calibrate"), this);
    place(CheckBox2, "CheckBox2", Layout::CheckBox2);
    CheckBox3 = new QCheckBox(QStringLiteral("KeyFast"), this);
    place(CheckBox3, "CheckBox3", Layout::CheckBox3);

    Button3 = new QPushButton(QStringLiteral("Clockwise"), this);
    place(Button3, "Button3", Layout::Button3);
    Button3->setToolTip(QStringLiteral("Turn the knob clockwise: Right or Up arrow, wheel up"));
    Button4 = new QPushButton(QStringLiteral("AntiClockwise"), this);
    place(Button4, "Button4", Layout::Button4);
    Button4->setToolTip(QStringLiteral("Turn the knob anticlockwise: Left or Down arrow, wheel down"));

    // Buttons and check boxes never take the focus: Space and Return are the
    // MENU key, not a press of whichever button was clicked last.
    for (QWidget* w :
         {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2), static_cast<QWidget*>(Button3),
          static_cast<QWidget*>(Button4), static_cast<QWidget*>(CheckBox2), static_cast<QWidget*>(CheckBox3)})
        w->setFocusPolicy(Qt::NoFocus);
    // A click anywhere but on the track bar gives the keyboard back to the
    // window (see eventFilter).
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

    // The tick runs on virtual time: the simulated clock calls Timer1Timer
    // for each 100 ms that an event point lets pass, so Timer1 only keeps
    // its interval and is never started on the wall clock.
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(Layout::TimerIntervalMs);

    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(Image3, &ClickArea::clicked, this, &TForm1::Image3Click);
    connect(Image5, &ClickArea::clicked, this, &TForm1::Image5Click);
    connect(Image6, &ClickArea::clicked, this, &TForm1::Image6Click);
    connect(TrackBar6, &QSlider::valueChanged, this, &TForm1::TrackBar6Change);
    connect(CheckBox2, &QCheckBox::toggled, this, &TForm1::CheckBox2Change);
    connect(CheckBox3, &QCheckBox::toggled, this, &TForm1::CheckBox3Change);

    // What each control stands for, and its key.
    Image2->setToolTip(QStringLiteral("The instrument's face; right-click for the simulator's tools"));
    Image1->setToolTip(QStringLiteral("The display, magnified 2x; the wheel over it turns the knob"));
    Shape1->setToolTip(
        QStringLiteral("Warning lamp: flashes while an expired timer or alarm is not acknowledged"));
    Image3->setToolTip(QStringLiteral("F1, the left soft key (F1)"));
    Image5->setToolTip(QStringLiteral("MENU, the round button (Return or Space)"));
    Image6->setToolTip(QStringLiteral("F2, the right soft key (F2)"));
    Button1->setToolTip(QStringLiteral("Power on: the start-up splash, then the home page"));
    Button2->setToolTip(QStringLiteral("Power off"));
    Button3->setToolTip(QStringLiteral("Turn the knob clockwise (Right or Up arrow, wheel up)"));
    Button4->setToolTip(QStringLiteral("Turn the knob anticlockwise (Left or Down arrow, wheel down)"));
    TrackBar6->setToolTip(QStringLiteral("The temperature sensor's raw count, 0 to 4096 (shown beside OAT)"));
    Label15->setToolTip(QStringLiteral("The temperature sensor's raw count"));
    CheckBox2->setToolTip(QStringLiteral("Calibrate: the main menu shows its service entries"));
    CheckBox3->setToolTip(QStringLiteral("KeyFast: every value steps by 10 instead of 1"));

    waker_.setSingleShot(true);
    waker_.setTimerType(Qt::PreciseTimer);
    idleTimer_.setSingleShot(true);
    idleTimer_.setTimerType(Qt::PreciseTimer);
    connect(&idleTimer_, &QTimer::timeout, this, &TForm1::IdleFrame);

    lamp_ = LAMP_BRIGHT;
    panel_ = WindowPanelFor(this);
    hostClock_ = HostClock{this, ClockNow, StdClockBreakDown};
    HostAttach(&panel_, &hostClock_);
    // Until told otherwise the host clock is the computer's.
    FollowComputerClock();
    history_.Start(CaptureSession());
    setFocus(Qt::OtherFocusReason);
}

TForm1::~TForm1() {
    closing_ = true;
    // Only the form still attached detaches; nothing reaches this one after.
    if (Host == &panel_) HostAttach(nullptr, nullptr);
}

u8 TForm1::ClockNow(void* context, s64* seconds) {
    *seconds = static_cast<TForm1*>(context)->clock_.UtcSeconds();
    return 1;
}

// --- Simulation ---------------------------------------------------------------

void TForm1::SetSpeed(double speed) {
    if (speed < 0) speed = 0;
    if (following_ && speed == 1 && !Paused()) return;
    following_ = false;
    pacer_.SetSpeed(speed, clock_.NowMs());
    ScheduleIdle();
}

void TForm1::SetPaused(bool paused) {
    if (!paused && splashView_) {
        // Catch up with the point shown, then run on.
        LeaveSplashView();
        resumeAfterCatchUp_ = stepBudget_ > 0;
        if (resumeAfterCatchUp_) return;
    }
    if (paused == Paused()) return;
    if (paused) following_ = false;
    stepBudget_ = 0;
    pacer_.SetPaused(paused, clock_.NowMs());
    PresentFrame();
    ScheduleIdle();
}

void TForm1::Step(unsigned points) {
    if (!Paused()) return;
    following_ = false;
    if (splashView_) LeaveSplashView();
    stepBudget_ += points;
    ScheduleIdle();
}

void TForm1::StepSecond() { Step((1000 + clock_.FrameMs() - 1) / clock_.FrameMs()); }

void TForm1::SetUtc(qint64 seconds) {
    if (following_) {
        following_ = false;
        if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), clock_.NowMs());
    }
    EnqueueUtc(seconds, NextWholeSecondMs());
}

qint64 TForm1::ShownUtcSeconds() const {
    for (const Input& in : pending_)
        if (in.kind == Input::UTC) {
            const qint64 early =
                in.notBeforeMs > clock_.NowMs() ? qint64(in.notBeforeMs - clock_.NowMs()) : 0;
            const qint64 ms = in.value * 1000 - early;
            return ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
        }
    return clock_.UtcSeconds();
}

uint64_t TForm1::NextWholeSecondMs() const { return (clock_.NowMs() + clock_.FrameMs() + 999) / 1000 * 1000; }

void TForm1::EnqueueUtc(qint64 seconds, uint64_t atMs) {
    if (splashView_) LeaveSplashView();
    // A new input after going back: the old future is gone.
    history_.Cut(std::max(points_, travelTarget_));
    for (auto i = pending_.begin(); i != pending_.end();)
        i = i->kind == Input::UTC ? pending_.erase(i) : i + 1;
    if (closing_) return;
    pending_.push_back(Input{Input::UTC, seconds, atMs});
    ScheduleIdle();
}

void TForm1::FollowComputerClock() {
    following_ = true;
    stepBudget_ = 0;
    if (Paused()) pacer_.SetPaused(false, clock_.NowMs());
    if (pacer_.Speed() != 1) pacer_.SetSpeed(1, clock_.NowMs());
    // The clock is set to a whole second (as a script sets it) at the next
    // whole virtual second, and the timeline puts that event point where
    // the computer's clock reaches that second; from there virtual time
    // keeps to the computer's, and the instrument's seconds turn with it.
    const uint64_t at = NextWholeSecondMs();
    const qint64 ahead = qint64(at - clock_.NowMs()) * 1000000;
    const qint64 wall = pacer_.WallNow() + ahead;
    const qint64 second = wall > 0 ? (wall + 999999999) / 1000000000 : wall / 1000000000;
    pacer_.StartTimeline(second * 1000000000 - ahead, clock_.NowMs());
    EnqueueUtc(second, at);
}

void TForm1::Enqueue(Input::Kind kind, qint64 value) {
    if (closing_) return;
    if (splashView_) LeaveSplashView();
    history_.Cut(std::max(points_, travelTarget_));
    pending_.push_back(Input{kind, value, 0});
    ScheduleIdle();
}

void TForm1::WaitUntilDue() {
    for (;;) {
        if (closing_ || ShutdownRequested) return;
        qint64 wait;
        if (Paused()) {
            wait = stepBudget_ > 0 ? 0 : -1;
        } else {
            const uint64_t next = clock_.NowMs() + clock_.FrameMs();
            if (pacer_.Resynchronise(clock_.NowMs(), next, ResyncLimitNs) && following_)
                FollowComputerClock();
            wait = pacer_.WaitBeforeFrame(next);
        }
        const qint64 now = pacer_.WallNow();
        if (wait == 0) {
            // Due now: still let the window's events in every few
            // milliseconds, when running flat out or catching up.
            if (now - lastEventsNs_ >= EventsEveryNs || now < lastEventsNs_) {
                SyncDisplayVisibility();
                QCoreApplication::processEvents(QEventLoop::AllEvents);
                lastEventsNs_ = pacer_.WallNow();
                continue; // an event may have paused the clock
            }
            if (Paused()) stepBudget_--;
            return;
        }
        SyncDisplayVisibility();
        if (wait < 0) {
            PresentFrame();
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        } else if (waitHook_) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            waitHook_(wait);
        } else {
            waker_.start(int((wait + 999999) / 1000000));
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            waker_.stop();
        }
        lastEventsNs_ = pacer_.WallNow();
    }
}

void TForm1::EventPointNow() {
    points_++;
    for (unsigned ticks = clock_.AdvanceFrame(); ticks > 0; ticks--) Timer1Timer();
    delivered_.clear();
    if (points_ <= history_.End()) {
        // Going on from a past point: the session's own inputs, again.
        ReplayInputs();
    } else if (recorder_ && stopRecording_) {
        // The replay reads the closing lines where it would read the next
        // input; inputs wait until the recording has ended.
        if (points_ - recordBase_ >= recorder_->ReadPoint()) EndRecording();
    } else {
        DeliverInputs();
    }
    if (recordFromHereDue_ && recorder_ && PowerState != POWER_SPLASH && !powerOnDue_) BeginFromHere();
    if (points_ > history_.End()) {
        if (delivered_.empty())
            history_.Reach(points_);
        else
            history_.Record(points_, delivered_);
        if (history_.WantsSnapshot(points_) && PowerState != POWER_SPLASH)
            history_.AddSnapshot(CaptureSession());
    }
    if (points_ >= travelTarget_) travelTarget_ = 0;
    if (resumeAfterCatchUp_ && stepBudget_ == 0) {
        resumeAfterCatchUp_ = false;
        SetPaused(false);
    }
}

void TForm1::ReplayInputs() {
    const std::vector<SessionInput> inputs = history_.InputsAt(points_);
    bool event = false;
    for (const SessionInput& in : inputs) {
        switch (in.kind) {
            case SessionInput::ON:
                if (PowerState == POWER_OFF)
                    powerOnDue_ = true;
                else
                    ::Button1Click();
                break;
            case SessionInput::OFF:
                ::Button2Click();
                break;
            case SessionInput::KEY:
                ::ClickKey((u8)in.value);
                break;
            case SessionInput::SENSOR:
                if (in.value != sensor_) {
                    sensor_ = (int)in.value;
                    RawSensor = (s32)in.value;
                }
                break;
            case SessionInput::CALIBRATE:
                calibrate_ = in.value != 0;
                break;
            case SessionInput::KEYFAST:
                keyFast_ = in.value != 0;
                break;
            case SessionInput::UTC:
                clock_.SetUtc(in.value);
                continue;
        }
        event = true;
    }
    if (inputs.empty()) return;
    SetControlsQuietly(sensor_, calibrate_, keyFast_);
    nextDelivery_ = points_ + (event ? 2 : 1);
}

void TForm1::SetControlsQuietly(int trackBar, bool calibrate, bool keyFast) {
    for (QWidget* w : {static_cast<QWidget*>(TrackBar6), static_cast<QWidget*>(CheckBox2),
                       static_cast<QWidget*>(CheckBox3)})
        w->blockSignals(true);
    TrackBar6->setValue(trackBar);
    CheckBox2->setChecked(calibrate);
    CheckBox3->setChecked(keyFast);
    for (QWidget* w : {static_cast<QWidget*>(TrackBar6), static_cast<QWidget*>(CheckBox2),
                       static_cast<QWidget*>(CheckBox3)})
        w->blockSignals(false);
    Label15->setText(QString::number(trackBar));
}

void TForm1::DeliverInputs() {
    if (pending_.empty() || points_ < nextDelivery_) return;
    // A new UTC waits for its whole second. Other inputs go ahead of it,
    // except at the event point just before it: after an input the next
    // delivery is two event points on, and the clock must not be late.
    const uint64_t now = clock_.NowMs();
    bool clockNext = false;
    for (const Input& in : pending_)
        if (in.kind == Input::UTC && in.notBeforeMs > now && in.notBeforeMs <= now + clock_.FrameMs())
            clockNext = true;
    std::deque<Input> waiting;
    std::vector<std::string> line;
    bool event = false;
    while (!pending_.empty() && !powerOnDue_) {
        const Input in = pending_.front();
        pending_.pop_front();
        if (in.kind == Input::UTC ? in.notBeforeMs > now : clockNext) {
            waiting.push_back(in);
            continue;
        }
        switch (in.kind) {
            case Input::ON:
                delivered_.push_back({SessionInput::ON, 0});
                line.push_back(FormatCommand(ScriptCommandKind::ON));
                // From off, ON runs the instrument until OFF: after this event
                // point, from the idle loop, as the runner does.
                if (PowerState == POWER_OFF)
                    powerOnDue_ = true;
                else
                    ::Button1Click();
                break;
            case Input::OFF:
                delivered_.push_back({SessionInput::OFF, 0});
                line.push_back(FormatCommand(ScriptCommandKind::OFF));
                ::Button2Click();
                break;
            case Input::KEY:
                delivered_.push_back({SessionInput::KEY, in.value});
                line.push_back(FormatCommand(ScriptCommandKind::KEY, {KeyWord(in.value)}));
                ::ClickKey((u8)in.value);
                break;
            case Input::SENSOR:
                // Only the last of several moves within one delivery matters.
                if (!pending_.empty() && pending_.front().kind == Input::SENSOR) continue;
                // A bar back where the instrument last took it sends no change.
                if (in.value == sensor_) continue;
                sensor_ = (int)in.value;
                delivered_.push_back({SessionInput::SENSOR, in.value});
                line.push_back(FormatCommand(ScriptCommandKind::SENSOR, {std::to_string(in.value)}));
                RawSensor = (s32)in.value;
                Label15->setText(QString::number(in.value));
                break;
            case Input::CALIBRATE:
                delivered_.push_back({SessionInput::CALIBRATE, in.value ? 1 : 0});
                line.push_back(FormatCommand(ScriptCommandKind::CALIBRATE, {in.value ? "on" : "off"}));
                calibrate_ = in.value != 0;
                break;
            case Input::KEYFAST:
                delivered_.push_back({SessionInput::KEYFAST, in.value ? 1 : 0});
                line.push_back(FormatCommand(ScriptCommandKind::KEYFAST, {in.value ? "on" : "off"}));
                keyFast_ = in.value != 0;
                break;
            case Input::UTC:
                delivered_.push_back({SessionInput::UTC, in.value});
                line.push_back(FormatCommand(ScriptCommandKind::UTC, {Recorder::UtcText(in.value)}));
                clock_.SetUtc(in.value);
                continue; // setting the clock is no input: the runner reads on at once
        }
        event = true;
    }
    pending_.insert(pending_.begin(), waiting.begin(), waiting.end());
    if (line.empty()) return;
    nextDelivery_ = points_ + (event ? 2 : 1);
    if (recorder_ && !line.empty() && !recordFromHereDue_ &&
        !recorder_->Line(points_ - recordBase_, line, event))
        RecordFailed();
}

void TForm1::ScheduleIdle() {
    if (closing_ || (PowerState != POWER_OFF && !resumeDue_)) return;
    if (Paused() && stepBudget_ == 0) {
        idleTimer_.stop();
        return;
    }
    qint64 wait = Paused() ? 0 : pacer_.WaitBeforeFrame(clock_.NowMs() + clock_.FrameMs());
    if (wait < 0) wait = 0;
    idleTimer_.start(int((wait + 999999) / 1000000));
}

void TForm1::IdleFrame() {
    if (closing_ || (PowerState != POWER_OFF && !resumeDue_)) return;
    SyncDisplayVisibility();
    const qint64 start = pacer_.WallNow();
    for (;;) {
        if (resumeDue_ || powerOnDue_) {
            // A state put back goes on from where it stood, before the next
            // event point: a pass, or the power-on sequence.
            if (Paused() && stepBudget_ == 0) break;
            const bool powerOn = powerOnDue_;
            powerOnDue_ = false;
            if (!RunFirmware(powerOn)) return;
            break;
        }
        if (Paused()) {
            if (stepBudget_ == 0) break;
            stepBudget_--;
        } else {
            const uint64_t next = clock_.NowMs() + clock_.FrameMs();
            if (pacer_.Resynchronise(clock_.NowMs(), next, ResyncLimitNs) && following_)
                FollowComputerClock();
            if (pacer_.WaitBeforeFrame(next) > 0) break;
        }
        EventPointNow();
        if (powerOnDue_) {
            powerOnDue_ = false;
            if (!RunFirmware(true)) return;
            break;
        }
        if (closing_) return;
        const qint64 now = pacer_.WallNow();
        if (now - start >= EventsEveryNs || now < start) break;
    }
    ScheduleIdle();
}

bool TForm1::RunFirmware(bool powerOn) {
    inFirmware_++;
    if (powerOn) {
        // Runs the power-on sequence and the main loop, and returns after
        // OFF, once the window has closed, or for a travel.
        ::Button1Click();
    } else {
        resumeDue_ = false;
        if (PowerState == POWER_ON) {
            PowerState = POWER_OFF; // as ResumeMainLoop takes it
            ::ResumeMainLoop();
        }
    }
    inFirmware_--;
    if (closing_) {
        // The window must not be touched again: leave the message loop.
        QCoreApplication::quit();
        return false;
    }
    if (loadDue_) {
        loadDue_ = false;
        travelDue_ = false;
        ShutdownRequested = 0;
        PutBackState(*loaded_);
        loaded_.reset();
        emit Message(QStringLiteral("Loaded the state."));
    }
    if (travelDue_) {
        travelDue_ = false;
        ShutdownRequested = 0;
        DoTravel(travelTarget_);
        if (!saveStateAfterTravel_.isEmpty()) {
            const QString path = saveStateAfterTravel_;
            saveStateAfterTravel_.clear();
            QString why;
            emit Message(SaveStateTo(path, &why) ? QStringLiteral("Saved the state as %1.").arg(path)
                                                 : QStringLiteral("Cannot save the state: %1").arg(why));
        }
        if (!saveAfterTravel_.isEmpty()) {
            const QString path = saveAfterTravel_;
            saveAfterTravel_.clear();
            WriteSession(path);
        }
    }
    return true;
}

void TForm1::PutBackState(const InstrumentSnapshot& saved) {
    RestoreInstrument(saved);
    clock_.SetNowMs(saved.host.virtualMs);
    clock_.SetUtcMs(saved.host.hostUtcMs);
    clock_.SetFrameMs(saved.host.frameMs);
    following_ = false;
    for (auto i = pending_.begin(); i != pending_.end();)
        i = i->kind == Input::UTC ? pending_.erase(i) : i + 1;
    if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), clock_.NowMs());
    // The controls as they were, without passing them to the instrument as
    // inputs: the instrument's own values came back with it.
    for (QWidget* w : {static_cast<QWidget*>(TrackBar6), static_cast<QWidget*>(CheckBox2),
                       static_cast<QWidget*>(CheckBox3)})
        w->blockSignals(true);
    TrackBar6->setValue(saved.host.trackBar);
    CheckBox2->setChecked(saved.host.calibrate);
    CheckBox3->setChecked(saved.host.keyFast);
    for (QWidget* w : {static_cast<QWidget*>(TrackBar6), static_cast<QWidget*>(CheckBox2),
                       static_cast<QWidget*>(CheckBox3)})
        w->blockSignals(false);
    Label15->setText(QString::number(saved.host.trackBar));
    calibrate_ = saved.host.calibrate;
    keyFast_ = saved.host.keyFast;
    SetLampColour(saved.host.lamp);
    displayWanted_ = true;
    std::memcpy(lastFrame_, FrameBuffer, sizeof lastFrame_);
    frameDirty_ = true;
    PresentFrame();
    sensor_ = saved.host.trackBar;
    stateLoaded_ = true;
    resumeDue_ = PowerState == POWER_ON;
    powerOnDue_ = false;
    // The session starts again here: the state as loaded.
    history_.Start(CaptureSession());
    ScheduleIdle();
}

// --- Going back and forward -----------------------------------------------------

SessionState TForm1::CaptureSession() const {
    SessionState s;
    s.point = points_;
    s.instrument.Capture();
    s.clock = clock_;
    s.trackBar = sensor_;
    s.calibrate = calibrate_;
    s.keyFast = keyFast_;
    s.lamp = lamp_;
    s.displayVisible = displayWanted_;
    s.powerOnDue = powerOnDue_;
    std::memcpy(s.frame, lastFrame_, sizeof lastFrame_);
    return s;
}

void TForm1::PutBackSession(const SessionState& s) {
    s.instrument.Restore();
    points_ = s.point;
    clock_ = s.clock;
    following_ = false;
    sensor_ = s.trackBar;
    calibrate_ = s.calibrate;
    keyFast_ = s.keyFast;
    SetControlsQuietly(s.trackBar, s.calibrate, s.keyFast);
    SetLampColour(s.lamp);
    displayWanted_ = s.displayVisible;
    SyncDisplayVisibility();
    std::memcpy(lastFrame_, s.frame, sizeof lastFrame_);
    frameDirty_ = true;
    PresentFrame();
    powerOnDue_ = s.powerOnDue;
    resumeDue_ = s.Resumable() && PowerState == POWER_ON && !s.powerOnDue;
    pending_.clear();
    // The next input reaches the instrument where the runner would read it.
    nextDelivery_ = points_ + 1;
    for (uint64_t p = points_ > 0 ? points_ - 1 : 0; p <= points_; p++)
        for (const SessionInput& in : history_.InputsAt(p))
            if (in.kind != SessionInput::UTC) nextDelivery_ = std::max(nextDelivery_, p + 2);
}

void TForm1::TravelTo(uint64_t point) {
    if (closing_ || recorder_) return;
    point = std::max(history_.StartPoint(), std::min(point, history_.End()));
    if (!Paused()) SetPaused(true);
    stepBudget_ = 0;
    resumeAfterCatchUp_ = false;
    if (inFirmware_ > 0) {
        // End the firmware's loops first (nothing more is drawn); the idle
        // loop then travels.
        travelDue_ = true;
        travelTarget_ = point;
        RequestShutdown();
        idleTimer_.stop();
        return;
    }
    DoTravel(point);
}

void TForm1::DoTravel(uint64_t point) {
    SessionState s;
    splashView_ = false;
    travelTarget_ = 0;
    if (!history_.StateAt(point, &s)) return;
    PutBackSession(s);
    if (!s.Resumable()) {
        // The splash's own place is on the stack of the run that got there:
        // show the point now, and go on from the power-on before it.
        splashView_ = true;
        splashTo_ = point;
    }
    ScheduleIdle();
}

void TForm1::LeaveSplashView() {
    if (!splashView_) return;
    splashView_ = false;
    SessionState s;
    const uint64_t from = history_.PowerOnBefore(splashTo_);
    if (!history_.StateAt(from, &s)) return;
    PutBackSession(s);
    // Re-run to the point that was shown; nothing is cut before it.
    travelTarget_ = splashTo_;
    stepBudget_ += unsigned(splashTo_ - from);
    ScheduleIdle();
}

// While the instrument runs (or is paused while running), the frame on screen
// is the one the pass after the last event point drew: the frame of the next
// event point. Going back counts from there, so one pass back shows the frame
// before the one on screen.
uint64_t TForm1::ShownPoint() const { return inFirmware_ > 0 && !travelDue_ ? points_ + 1 : points_; }

void TForm1::BackPass() {
    const uint64_t from = ShownPoint();
    TravelTo(from > 0 ? from - 1 : 0);
}

void TForm1::BackSecond() {
    const uint64_t from = ShownPoint();
    TravelTo(from > PointsPerSecond() ? from - PointsPerSecond() : 0);
}

void TForm1::ForwardPass() {
    if (points_ < history_.End())
        TravelTo(points_ + 1);
    else {
        if (!Paused()) SetPaused(true);
        Step(1);
    }
}

void TForm1::ForwardSecond() {
    if (points_ + PointsPerSecond() <= history_.End())
        TravelTo(points_ + PointsPerSecond());
    else {
        if (!Paused()) SetPaused(true);
        Step(unsigned(points_ + PointsPerSecond() - std::max(points_, history_.End())));
        if (points_ < history_.End()) TravelTo(history_.End());
    }
}

uint64_t TForm1::SavePointFor(uint64_t point) const {
    // The runner reads the line after an input two event points on: not at
    // the very next one.
    if (point > history_.StartPoint()) {
        for (const SessionInput& in : history_.InputsAt(point - 1))
            if (in.kind != SessionInput::UTC) return point - 1;
    }
    return point;
}

void TForm1::SaveSession(const QString& path) {
    if (closing_) return;
    if (recorder_) {
        emit SessionSaved(false, QStringLiteral("Stop the recording first."));
        return;
    }
    const uint64_t point = SavePointFor(splashView_ ? splashTo_ : travelTarget_ ? travelTarget_ : points_);
    if (inFirmware_ > 0) {
        saveAfterTravel_ = path;
        TravelTo(point);
        return;
    }
    if (point != points_ || splashView_) TravelTo(point);
    WriteSession(path);
}

void TForm1::WriteSession(const QString& qpath) {
    const std::string path = qpath.toStdString();
    const uint64_t point = splashView_ ? splashTo_ : points_;
    const uint64_t start = history_.StartPoint();
    std::string text =
        "# A session in the TMX-5 simulator window, from its start to the pass shown; replay it "
        "with tmx5 run.\n";
    std::string base = path;
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".tmx") == 0) base.resize(base.size() - 4);
    // A session that began from a loaded state (or a recording begun while
    // on) starts from it again: the runner loads it at its first event
    // point, where the window's session began.
    SessionState shown, s;
    history_.StateAt(start, &s);
    const bool fromLoad = !(s.point == 0 && s.clock.NowMs() == 0 && s.instrument.PowerState == POWER_OFF);
    if (fromLoad) {
        HostSnapshot host;
        host.virtualMs = s.clock.NowMs();
        host.hostUtcMs = s.clock.UtcMs();
        host.frameMs = s.clock.FrameMs();
        host.trackBar = s.trackBar;
        host.calibrate = s.calibrate;
        host.keyFast = s.keyFast;
        host.lamp = s.lamp;
        std::string why;
        const std::string statePath = base + ".start.state";
        const bool written = WriteStateFile(statePath, CaptureInstrument(host), &why);
        history_.StateAt(point, &shown); // the instrument back at the point shown
        if (!written) {
            emit SessionSaved(false, QString::fromStdString(why));
            return;
        }
        const size_t slash = statePath.rfind('/');
        text += FormatCommand(ScriptCommandKind::LOAD_STATE,
                              {slash == std::string::npos ? statePath : statePath.substr(slash + 1)}) +
                "\n";
    } else {
        history_.StateAt(point, &shown);
    }
    // The runner's event point of the window's event point w.
    auto runnerPoint = [&](uint64_t w) { return fromLoad ? w - start + 1 : w; };
    uint64_t read = 1; // where the runner reads the next line
    std::string last;
    uint64_t lastPoint = 0;
    const std::vector<SessionInputAt>& inputs = history_.Inputs();
    for (size_t i = 0; i < inputs.size() && inputs[i].point <= point;) {
        const uint64_t w = inputs[i].point;
        std::string line;
        bool event = false;
        for (; i < inputs.size() && inputs[i].point == w; i++) {
            const SessionInput& in = inputs[i].input;
            std::string c;
            switch (in.kind) {
                case SessionInput::ON:
                    c = FormatCommand(ScriptCommandKind::ON);
                    break;
                case SessionInput::OFF:
                    c = FormatCommand(ScriptCommandKind::OFF);
                    break;
                case SessionInput::KEY:
                    c = FormatCommand(ScriptCommandKind::KEY, {KeyWord(in.value)});
                    break;
                case SessionInput::SENSOR:
                    c = FormatCommand(ScriptCommandKind::SENSOR, {std::to_string(in.value)});
                    break;
                case SessionInput::CALIBRATE:
                    c = FormatCommand(ScriptCommandKind::CALIBRATE, {in.value ? "on" : "off"});
                    break;
                case SessionInput::KEYFAST:
                    c = FormatCommand(ScriptCommandKind::KEYFAST, {in.value ? "on" : "off"});
                    break;
                case SessionInput::UTC:
                    c = FormatCommand(ScriptCommandKind::UTC, {Recorder::UtcText(in.value)});
                    break;
            }
            if (in.kind != SessionInput::UTC) event = true;
            line += (line.empty() ? "" : "; ") + c;
        }
        const uint64_t r = runnerPoint(w);
        if (!last.empty()) text += last + "\n";
        // Long gaps go over several lines: passes takes at most 100,000,000.
        while (r > read) {
            const uint64_t n = std::min<uint64_t>(r - read, 100000000);
            text += FormatCommand(ScriptCommandKind::PASSES, {std::to_string(n)}) + "\n";
            read += n;
        }
        last = line;
        lastPoint = r;
        read = r + (event ? 2 : 0);
    }
    // The state and frame shown, where the runner reads the closing lines:
    // on the last input's own line when the point is that line's.
    std::string closing;
    for (const auto& value : RecordedState(Label15->text().toStdString(), lamp_))
        closing += "; " + FormatCommand(ScriptCommandKind::EXPECT, {value.first, value.second});
    const std::string framePath = Recorder::FramePath(path);
    if (!WriteFramePbm(framePath, lastFrame_)) {
        emit SessionSaved(false, QStringLiteral("Cannot write %1.").arg(QString::fromStdString(framePath)));
        return;
    }
    const size_t slash = framePath.rfind('/');
    closing += "; " + FormatCommand(ScriptCommandKind::EXPECT_FRAME,
                                    {slash == std::string::npos ? framePath : framePath.substr(slash + 1)});
    const uint64_t end = runnerPoint(point);
    if (!last.empty() && lastPoint == end) {
        text += last + closing + "\n";
    } else {
        if (!last.empty()) text += last + "\n";
        while (end > read) {
            const uint64_t n = std::min<uint64_t>(end - read, 100000000);
            text += FormatCommand(ScriptCommandKind::PASSES, {std::to_string(n)}) + "\n";
            read += n;
        }
        text += "# The session was saved here, showing:\n" + closing.substr(2) + "\n";
    }
    // Written whole, or the old file kept.
    std::string why;
    if (!WriteFileAtomically(path, text, &why)) {
        emit SessionSaved(false,
                          QStringLiteral("Cannot write %1: %2").arg(qpath, QString::fromStdString(why)));
        return;
    }
    emit SessionSaved(true, QStringLiteral("Saved the session to %1 (replay it with tmx5 run).").arg(qpath));
}

bool TForm1::SaveStateTo(const QString& path, QString* error) {
    if (recorder_) return *error = QStringLiteral("Stop the recording first."), false;
    const uint64_t point = splashView_ ? splashTo_ : travelTarget_ ? travelTarget_ : points_;
    error->clear();
    if (inFirmware_ > 0) {
        // Saved once the loop has ended, at the point shown.
        saveStateAfterTravel_ = path;
        TravelTo(point);
        return true;
    }
    if (point != points_) TravelTo(point);
    if (PowerState == POWER_SPLASH)
        return *error = QStringLiteral("The instrument is in its splash; save after it."), false;
    HostSnapshot host;
    host.virtualMs = clock_.NowMs();
    host.hostUtcMs = clock_.UtcMs();
    host.frameMs = clock_.FrameMs();
    host.trackBar = sensor_;
    host.calibrate = calibrate_;
    host.keyFast = keyFast_;
    host.lamp = lamp_;
    std::string why;
    if (!WriteStateFile(path.toStdString(), CaptureInstrument(host), &why))
        return *error = QString::fromStdString(why), false;
    return true;
}

bool TForm1::LoadStateFrom(const QString& path, QString* error) {
    if (recorder_) return *error = QStringLiteral("Stop the recording first."), false;
    std::unique_ptr<InstrumentSnapshot> saved(new InstrumentSnapshot);
    std::string why;
    if (!ReadStateFile(path.toStdString(), saved.get(), &why))
        return *error = QString::fromStdString(why), false;
    splashView_ = false;
    travelTarget_ = 0;
    if (inFirmware_ > 0) {
        // End the firmware's loops first; the idle loop then puts it back.
        loaded_ = std::move(saved);
        loadDue_ = true;
        RequestShutdown();
        idleTimer_.stop();
        return true;
    }
    PutBackState(*saved);
    return true;
}

void TForm1::SaveSessionAs() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the session as a scenario"),
                                                      QDir::current().filePath(QStringLiteral("session.tmx")),
                                                      QStringLiteral("Scenario scripts (*.tmx)"));
    if (!path.isEmpty()) SaveSession(path);
}

void TForm1::SaveStateAs() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save the state"),
                                                      QDir::current().filePath(QStringLiteral("tmx5.state")),
                                                      QStringLiteral("Saved states (*.state)"));
    if (path.isEmpty()) return;
    QString why;
    if (!SaveStateTo(path, &why))
        emit Message(QStringLiteral("Cannot save the state: %1").arg(why));
    else if (saveStateAfterTravel_.isEmpty())
        emit Message(QStringLiteral("Saved the state as %1.").arg(path));
}

void TForm1::LoadStateAs() {
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Load a state"), QDir::currentPath(),
                                     QStringLiteral("Saved states (*.state);;All files (*)"));
    if (path.isEmpty()) return;
    QString why;
    if (!LoadStateFrom(path, &why)) {
        emit Message(QStringLiteral("Cannot load the state: %1").arg(why));
        QMessageBox::warning(this, QStringLiteral("Load state"),
                             QStringLiteral("Cannot load the state:\n%1").arg(why));
    } else if (!loadDue_) {
        emit Message(QStringLiteral("Loaded %1.").arg(path));
    }
}

void TForm1::ShowAbout() {
    QMessageBox::about(
        this, QStringLiteral("About the TMX-5 simulator"),
        QStringLiteral(
            "<p><b>TMX-5 simulator</b> %1, firmware %2</p>"
            "<p>Knob: Right/Up and Left/Down arrows or the wheel; MENU: Return or Space; soft keys: F1, "
            "F2.<br>Simulator controls: F12 or Ctrl+T; pause/resume: Ctrl+P.<br>Back and forward one "
            "second: Ctrl+Left, Ctrl+Right; one pass: Ctrl+Shift+Left, Ctrl+Shift+Right.<br>Save the "
            "session as a scenario: Ctrl+S; save a state: Ctrl+Shift+S; load one: Ctrl+O.</p>"
            "<p>The README (README.md in the sources, /usr/share/doc/tmx5 when installed) and "
            "<tt>man tmx5</tt> say more.</p>")
            .arg(QStringLiteral(TMX5_VERSION), QString::fromLatin1(FirmwareVersion)));
}

QImage TForm1::DisplayPicture() const {
    u8 pixels[LCD_HEIGHT][LCD_WIDTH];
    FrameToPixels(lastFrame_, pixels);
    QImage picture(LCD_WIDTH * 2, LCD_HEIGHT * 2, QImage::Format_RGB32);
    const QRgb unlit = UnlitColour().rgb();
    for (int y = 0; y < LCD_HEIGHT * 2; y++)
        for (int x = 0; x < LCD_WIDTH * 2; x++)
            picture.setPixel(x, y, pixels[y / 2][x / 2] ? qRgb(0, 0, 0) : unlit);
    return picture;
}

void TForm1::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Simulator controls\tF12"), this, [this] { emit ToolsRequested(); });
    menu.addAction(Paused() ? QStringLiteral("Resume\tCtrl+P") : QStringLiteral("Pause\tCtrl+P"), this,
                   [this] { SetPaused(!Paused()); });
    menu.addAction(QStringLiteral("Back one second\tCtrl+Left"), this, &TForm1::BackSecond);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Save session as scenario...\tCtrl+S"), this, &TForm1::SaveSessionAs);
    menu.addAction(QStringLiteral("Save state...\tCtrl+Shift+S"), this, &TForm1::SaveStateAs);
    menu.addAction(QStringLiteral("Load state...\tCtrl+O"), this, &TForm1::LoadStateAs);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Screenshot"), this, [this] { emit ScreenshotRequested(); });
    menu.addAction(recorder_ ? QStringLiteral("Stop recording") : QStringLiteral("Record..."), this,
                   [this] { emit RecordRequested(); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("About"), this, &TForm1::ShowAbout);
    menu.exec(e->globalPos());
    e->accept();
}

bool TForm1::HandleTravelKey(QKeyEvent* e) {
    const Qt::KeyboardModifiers mods =
        e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    if (mods == Qt::ControlModifier && e->key() == Qt::Key_P) {
        SetPaused(!Paused());
    } else if (mods == Qt::ControlModifier && e->key() == Qt::Key_Left) {
        BackSecond();
    } else if (mods == Qt::ControlModifier && e->key() == Qt::Key_Right) {
        ForwardSecond();
    } else if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && e->key() == Qt::Key_Left) {
        BackPass();
    } else if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && e->key() == Qt::Key_Right) {
        ForwardPass();
    } else if (mods == Qt::ControlModifier && e->key() == Qt::Key_S) {
        SaveSessionAs();
    } else if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && e->key() == Qt::Key_S) {
        SaveStateAs();
    } else if (mods == Qt::ControlModifier && e->key() == Qt::Key_O) {
        LoadStateAs();
    } else {
        return false;
    }
    emit TravelKeyUsed();
    e->accept();
    return true;
}

// --- Recording --------------------------------------------------------------

bool TForm1::StartRecording(Recorder* recorder) {
    if (!recorder) return true;
    if (recorder_) return false;
    if (PowerState != POWER_OFF || stateLoaded_) {
        // From here: the state as it stands is where the replay starts.
        recorder_ = recorder;
        stopRecording_ = false;
        splashView_ = false;
        travelTarget_ = 0;
        recordFromHereDue_ = true;
        if (inFirmware_ == 0 && PowerState != POWER_SPLASH && !powerOnDue_) {
            BeginFromHere(); // the variables stand at the point shown
        } else if (Paused()) {
            stepBudget_ = std::max(stepBudget_, 1u); // at the next event point, after the splash
            ScheduleIdle();
        }
        return true;
    }
    // The clock the user set (or the computer's) is kept.
    const qint64 keptUtc = ShownUtcSeconds();
    recordBase_ = 0;
    // Program start, as the replay begins: the instrument, its hooks and
    // frame, the lamp, what the panel last read, virtual time and the count
    // of event points.
    ResetInstrumentState();
    std::memset(HookCalls, 0, sizeof HookCalls);
    LcdClear();
    std::memset(lastFrame_, 0, sizeof lastFrame_);
    frameDirty_ = std::memcmp(lastFrame_, shownFrame_, sizeof lastFrame_) != 0;
    PresentFrame();
    SetLampColour(LAMP_BRIGHT);
    calibrate_ = keyFast_ = false;
    clock_ = SimClock();
    points_ = 0;
    nextDelivery_ = 0;
    sensor_ = 2048;
    splashView_ = false;
    travelTarget_ = 0;
    history_.Start(CaptureSession());
    stopRecording_ = false;
    if (!Paused()) pacer_.StartTimeline(pacer_.WallNow(), 0);
    recorder_ = recorder;
    if (!recorder_->Begin()) {
        RecordFailed();
        return true;
    }
    // The replay starts with the track bar at 2048 and both boxes clear.
    std::deque<Input> earlier;
    earlier.swap(pending_);
    if (TrackBar6->value() != 2048) Enqueue(Input::SENSOR, TrackBar6->value());
    if (CheckBox2->isChecked()) Enqueue(Input::CALIBRATE, 1);
    if (CheckBox3->isChecked()) Enqueue(Input::KEYFAST, 1);
    qint64 utc = -1;
    for (const Input& in : earlier) {
        if (in.kind == Input::UTC)
            utc = in.value;
        else if (in.kind != Input::SENSOR && in.kind != Input::CALIBRATE && in.kind != Input::KEYFAST)
            pending_.push_back(in); // the controls' state now stands for those
    }
    // The host clock is set at the first event point, to a whole second.
    if (following_)
        FollowComputerClock();
    else
        SetUtc(utc >= 0 ? utc : keptUtc);
    ScheduleIdle();
    return true;
}

void TForm1::BeginFromHere() {
    recordFromHereDue_ = false;
    // The window's event point points_ is the replay's first, where the
    // scenario's first line loads the state.
    recordBase_ = points_ - 1;
    HostSnapshot host;
    host.virtualMs = clock_.NowMs();
    host.hostUtcMs = clock_.UtcMs();
    host.frameMs = clock_.FrameMs();
    host.trackBar = sensor_;
    host.calibrate = calibrate_;
    host.keyFast = keyFast_;
    host.lamp = lamp_;
    const std::string statePath = Recorder::StartStatePath(recorder_->Path());
    std::string why;
    const size_t slash = statePath.rfind('/');
    if (!recorder_->Begin() || !WriteStateFile(statePath, CaptureInstrument(host), &why) ||
        !recorder_->Line(
            1,
            {FormatCommand(ScriptCommandKind::LOAD_STATE,
                           {slash == std::string::npos ? statePath : statePath.substr(slash + 1)})},
            false)) {
        if (recorder_->Error().empty()) {
            recordError_ = why;
            std::fprintf(stderr, "tmx5: %s\n", why.c_str());
            recorder_ = nullptr;
            emit RecordingEnded();
            if (closeOnRecordError_) QTimer::singleShot(0, this, &QWidget::close);
            return;
        }
        RecordFailed();
    }
}

void TForm1::StopRecording() {
    if (!recorder_ || stopRecording_) return;
    stopRecording_ = true;
    // The closing lines need the event point where the replay reads them.
    if (recordFromHereDue_) {
        // Nothing was recorded yet: there is nothing to end.
        recorder_ = nullptr;
        recordFromHereDue_ = false;
        emit RecordingEnded();
        return;
    }
    if (Paused() && recorder_->ReadPoint() > points_ - recordBase_) {
        const uint64_t more = recorder_->ReadPoint() - (points_ - recordBase_);
        if (stepBudget_ < more) stepBudget_ = unsigned(more);
    }
    ScheduleIdle();
}

void TForm1::EndRecording() {
    Recorder* recorder = recorder_;
    recorder_ = nullptr;
    stopRecording_ = false;
    if (!recorder->End(points_ - recordBase_, RecordedState(Label15->text().toStdString(), lamp_),
                       lastFrame_)) {
        recorder_ = recorder;
        RecordFailed();
        return;
    }
    emit RecordingEnded();
    if (closeWhenRecorded_) QTimer::singleShot(0, this, &QWidget::close);
}

void TForm1::RecordFailed() {
    recordError_ = recorder_->Error();
    std::fprintf(stderr, "tmx5: %s\n", recordError_.c_str());
    recorder_ = nullptr;
    stopRecording_ = false;
    emit RecordingEnded();
    if (closeOnRecordError_) QTimer::singleShot(0, this, &QWidget::close);
}

// --- Event handlers ---------------------------------------------------------
// Every input path (a click, the keyboard, the wheel) ends in one of these,
// which queue the input for the next event point whose turn it is.

void TForm1::Button1Click() { Enqueue(Input::ON); }

void TForm1::Button2Click() { Enqueue(Input::OFF); }

void TForm1::Timer1Timer() {
    if (!closing_) ::Timer1Timer();
}

void TForm1::TrackBar6Change(int position) { Enqueue(Input::SENSOR, position); }

void TForm1::Image3Click() { Enqueue(Input::KEY, KEY_LEFT); }

void TForm1::Image5Click() { Enqueue(Input::KEY, KEY_MENU); }

void TForm1::Image6Click() { Enqueue(Input::KEY, KEY_RIGHT); }

void TForm1::Button3Click() { Enqueue(Input::KEY, KEY_CW); }

void TForm1::Button4Click() { Enqueue(Input::KEY, KEY_CCW); }

void TForm1::CheckBox2Change(bool checked) { Enqueue(Input::CALIBRATE, checked ? 1 : 0); }

void TForm1::CheckBox3Change(bool checked) { Enqueue(Input::KEYFAST, checked ? 1 : 0); }

// --- Host panel -------------------------------------------------------------

QColor TForm1::UnlitColour() const {
    // The instrument's unlit colour is the system's inactive-border colour.
    // Qt has no such role; the inactive window background is the nearest:
    // the same light grey as the window face in the classic schemes, and it
    // follows the colour scheme as the border colour does.
    return palette().color(QPalette::Inactive, QPalette::Window);
}

void TForm1::RenderLcd() {
    if (closing_) return;
    std::memcpy(lastFrame_, FrameBuffer, sizeof lastFrame_);
    // Most passes draw what is already on screen: nothing to paint then.
    frameDirty_ = frameDirty_ || std::memcmp(lastFrame_, shownFrame_, sizeof lastFrame_) != 0;
    if (!frameDirty_) return;
    if (pacer_.Fastest() && !Paused()) {
        const qint64 now = pacer_.WallNow();
        if (now - lastPresentNs_ < PresentEveryNs && now >= lastPresentNs_) return;
    }
    PresentFrame();
}

void TForm1::PresentFrame() {
    if (!frameDirty_ || closing_) return;
    u8 pixels[LCD_HEIGHT][LCD_WIDTH];
    FrameToPixels(lastFrame_, pixels);
    const QRgb lit = qRgb(0, 0, 0);
    const QRgb unlit = UnlitColour().rgb();
    QImage& canvas = Image1->canvas();
    const int s = Layout::Scale;
    for (int y = 0; y < LCD_HEIGHT; y++) {
        for (int dy = 0; dy < s; dy++) {
            QRgb* row = reinterpret_cast<QRgb*>(canvas.scanLine(y * s + dy));
            for (int x = 0; x < LCD_WIDTH; x++) {
                const QRgb c = pixels[y][x] ? lit : unlit;
                for (int dx = 0; dx < s; dx++) row[x * s + dx] = c;
            }
        }
    }
    std::memcpy(shownFrame_, lastFrame_, sizeof shownFrame_);
    frameDirty_ = false;
    repaints_++;
    lastPresentNs_ = pacer_.WallNow();
    Image1->update(0, 0, LCD_WIDTH * s, LCD_HEIGHT * s);
}

void TForm1::PumpEvents() {
    if (closing_) return;
    WaitUntilDue();
    if (closing_ || ShutdownRequested) return;
    EventPointNow();
}

void TForm1::SetLampColour(u32 colour) {
    if (closing_) return;
    lamp_ = colour;
    Shape1->setFill(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
}

void TForm1::ShowDisplay(u8 visible) {
    // Hiding the image only matters if the window handles events while it
    // is hidden; the pass shows it again before it hands over to the host,
    // so usually nothing changes on screen and nothing is repainted.
    displayWanted_ = visible != 0;
}

void TForm1::SyncDisplayVisibility() {
    if (Image1->isVisibleTo(Panel1) != displayWanted_) Image1->setVisible(displayWanted_);
}

u8 TForm1::CalibrateChecked() const { return calibrate_ ? 1 : 0; }

u8 TForm1::KeyFastChecked() const { return keyFast_ ? 1 : 0; }

std::pair<QString, QString> TForm1::SaveScreenshots(const QString& folder) const {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QDir dir(folder);
    QString display = dir.filePath(QStringLiteral("tmx5-display-%1.png").arg(stamp));
    QString window = dir.filePath(QStringLiteral("tmx5-window-%1.png").arg(stamp));
    // The display as the window shows it, 2 x 2 image pixels a display pixel.
    if (!DisplayPicture().save(display, "PNG")) display.clear();
    if (!const_cast<TForm1*>(this)->grab().save(window, "PNG")) window.clear();
    return {display, window};
}

QString TForm1::SaveFaceScreenshot(const QString& folder) const {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    const QString face = QDir(folder).filePath(QStringLiteral("tmx5-face-%1.png").arg(stamp));
    // The face's own rectangle of the window: the display and the lamp lie
    // on it, as they are shown.
    return const_cast<TForm1*>(this)->grab(Image2->geometry()).save(face, "PNG") ? face : QString();
}

// --- Window events ------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* e) {
    // A recording ends with the state at the event point where its replay
    // reads the closing lines, at most two event points from now: the
    // window closes once they are written.
    if (recorder_ && !closing_) {
        closeWhenRecorded_ = true;
        StopRecording();
        e->ignore();
        return;
    }
    // From here on no handler reaches the firmware, and every loop of the
    // running instrument (splash, main loop) ends at once.
    closing_ = true;
    idleTimer_.stop();
    waker_.stop();
    RequestShutdown();
    e->accept();
}

void TForm1::keyPressEvent(QKeyEvent* e) {
    if (HandleTravelKey(e)) return;
    if (e->key() == Qt::Key_F12 || (e->key() == Qt::Key_T && (e->modifiers() & Qt::ControlModifier))) {
        emit ToolsRequested();
        e->accept();
        return;
    }
    switch (e->key()) {
        case Qt::Key_Right:
        case Qt::Key_Up:
            Button3Click();
            break;
        case Qt::Key_Left:
        case Qt::Key_Down:
            Button4Click();
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Space:
            Image5Click();
            break;
        case Qt::Key_F1:
            Image3Click();
            break;
        case Qt::Key_F2:
            Image6Click();
            break;
        default:
            QWidget::keyPressEvent(e);
            return;
    }
    e->accept();
}

void TForm1::wheelEvent(QWheelEvent* e) {
    // Only the face and the display turn the knob; the wheel elsewhere
    // (reaching the window because a control ignored it) does nothing.
    const QPoint at = e->position().toPoint();
    if (!Image2->geometry().contains(at) && !Panel1->geometry().contains(at)) {
        e->ignore();
        return;
    }
    e->accept();
    // One notch is one key; smooth wheels add up to whole notches.
    wheelRemainder_ += e->angleDelta().y();
    while (wheelRemainder_ >= WheelNotch) {
        wheelRemainder_ -= WheelNotch;
        Button3Click();
    }
    while (wheelRemainder_ <= -WheelNotch) {
        wheelRemainder_ += WheelNotch;
        Button4Click();
    }
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    // The track bar keeps the focus a click gives it, and its arrow keys;
    // the travel keys still travel.
    if (watched == TrackBar6) {
        if (e->type() == QEvent::KeyPress && HandleTravelKey(static_cast<QKeyEvent*>(e))) return true;
        return QWidget::eventFilter(watched, e);
    }
    if (e->type() == QEvent::MouseButtonPress && !hasFocus()) setFocus(Qt::MouseFocusReason);
    return QWidget::eventFilter(watched, e);
}
