#include "Pcmain.h"

#include "FrameConvert.h"
#include "lcd/Lcd.h"
#include "runtime/Runtime.h"
#include "window/Controls.h"
#include "window/Layout.h"
#include "window/Recorder.h"
#include "window/WindowPanel.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QIcon>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QWheelEvent>

#include <cstdio>
#include <ctime>

// The face and icon are built into tmx5window, a static library, whose
// resource initialiser the linker would otherwise drop.
static void LoadWindowResources() {
    Q_INIT_RESOURCE(window);
}

namespace {

// One notch of a mouse wheel, in the eighths of a degree Qt reports.
const int WheelNotch = 120;

// The face picture is stored as a JPEG and decoded by Qt's JPEG plugin; the
// window is still usable without it, so a missing plugin is only reported.
QPixmap LoadFace() {
    QImageReader reader(QStringLiteral(":/tmx5/face.jpg"), "jpeg");
    QImage face = reader.read();
    if (face.isNull())
        std::fprintf(stderr, "tmx5: the face picture cannot be shown: %s (Qt's JPEG image plugin "
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

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
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
    for (QWidget* w : {static_cast<QWidget*>(Button1), static_cast<QWidget*>(Button2),
                       static_cast<QWidget*>(Button3), static_cast<QWidget*>(Button4),
                       static_cast<QWidget*>(CheckBox2), static_cast<QWidget*>(CheckBox3)})
        w->setFocusPolicy(Qt::NoFocus);
    // A click anywhere but on the track bar gives the keyboard back to the
    // window (see eventFilter).
    for (QWidget* w : findChildren<QWidget*>())
        if (w != TrackBar6) w->installEventFilter(this);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer);
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
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    pacer_.setSingleShot(true);
    pacer_.setTimerType(Qt::PreciseTimer);
    passClock_.start();

    panel_ = WindowPanelFor(this);
    HostAttach(&panel_, nullptr);
    // The tick runs from the window's creation, the instrument on or off. A
    // recording counts its time from here, so that its replay, whose tick
    // fires at every multiple of 100 ms, sees the ticks where the window did.
    sinceStart_.start();
    startUtc_ = (qint64)std::time(nullptr);
    Timer1->start();
    setFocus(Qt::OtherFocusReason);
}

TForm1::~TForm1() {
    closing_ = true;
    // Only the form still attached detaches; nothing reaches this one after.
    if (Host == &panel_) HostAttach(nullptr, nullptr);
}

// --- Recording --------------------------------------------------------------

void TForm1::StartRecording(Recorder* recorder) {
    recorder_ = recorder;
    if (recorder_) recorder_->Begin(startUtc_);
}

void TForm1::Record(const std::string& command, const char* ignoredBecause) {
    if (!recorder_ || closing_) return;
    if (ignoredBecause)
        recorder_->Ignored(SinceStartMs(), command, ignoredBecause);
    else
        recorder_->Event(SinceStartMs(), command);
}

void TForm1::RecordKey(const char* word) {
    // One key is pending at a time and the older one wins: a second key
    // within one pass (or while off, or during the splash) is dropped here,
    // but would be taken on replay, where every line comes two passes after
    // the one before: the recording keeps it as a comment.
    Record(std::string("key ") + word,
           KeyCode != KEY_NONE ? "a key was already pending, so the instrument dropped this one" : nullptr);
}

// --- Event handlers ---------------------------------------------------------
// Every input path (a click, the keyboard, the wheel) ends in one of these,
// which is where a recording sees it, once.

void TForm1::Button1Click() {
    if (closing_) return;
    Record("on", PowerState == POWER_SPLASH ? "ON during the splash is ignored" : nullptr);
    // Runs the power-on sequence and the main loop, and returns after OFF or
    // once the window has closed. In the second case the window must not be
    // touched again: leave the message loop.
    ::Button1Click();
    if (closing_) QCoreApplication::quit();
}

void TForm1::Button2Click() {
    if (closing_) return;
    // The end of the splash clears StopRequested, so OFF now has no effect.
    Record("off", PowerState == POWER_SPLASH ? "OFF during the splash is lost" : nullptr);
    ::Button2Click();
}

void TForm1::Timer1Timer() {
    if (!closing_) ::Timer1Timer();
}

void TForm1::TrackBar6Change(int position) {
    Record("sensor " + std::to_string(position));
    RawSensor = position;
    Label15->setText(QString::number(position));
}

void TForm1::Image3Click() {
    if (closing_) return;
    RecordKey("left");
    ::Image3Click();
}

void TForm1::Image5Click() {
    if (closing_) return;
    RecordKey("menu");
    ::Image5Click();
}

void TForm1::Image6Click() {
    if (closing_) return;
    RecordKey("right");
    ::Image6Click();
}

void TForm1::Button3Click() {
    if (closing_) return;
    RecordKey("cw");
    ::Button3Click();
}

void TForm1::Button4Click() {
    if (closing_) return;
    RecordKey("ccw");
    ::Button4Click();
}

void TForm1::CheckBox2Change(bool checked) {
    Record(checked ? "calibrate on" : "calibrate off");
}

void TForm1::CheckBox3Change(bool checked) {
    Record(checked ? "keyfast on" : "keyfast off");
}

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
    u8 pixels[FRAME_HEIGHT][FRAME_WIDTH];
    FrameToPixels(FrameBuffer, pixels);
    const QRgb lit = qRgb(0, 0, 0);
    const QRgb unlit = UnlitColour().rgb();
    QImage& canvas = Image1->canvas();
    const int s = Layout::Scale;
    for (int y = 0; y < FRAME_HEIGHT; y++) {
        for (int dy = 0; dy < s; dy++) {
            QRgb* row = reinterpret_cast<QRgb*>(canvas.scanLine(y * s + dy));
            for (int x = 0; x < FRAME_WIDTH; x++) {
                const QRgb c = pixels[y][x] ? lit : unlit;
                for (int dx = 0; dx < s; dx++) row[x * s + dx] = c;
            }
        }
    }
    Image1->update(0, 0, FRAME_WIDTH * s, FRAME_HEIGHT * s);
}

void TForm1::PumpEvents() {
    if (closing_) return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    // Pace the loop: go on handling events as they come until the pass has
    // lasted PassMs. The pacer's timeout wakes the wait, so it never waits
    // past the end of the pass. Qt's timers count whole milliseconds: the
    // wait is rounded to the nearest one, so passes last 20 ms on average
    // and never less than 19.5 ms.
    for (;;) {
        if (closing_ || ShutdownRequested) break;
        const qint64 left =
            (qint64(Layout::PassMs) * 1000000 - passClock_.nsecsElapsed() + 500000) / 1000000;
        if (left <= 0) break;
        pacer_.start(int(left));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    pacer_.stop();
    passClock_.restart();
}

void TForm1::SetLampColour(u32 colour) {
    if (closing_) return;
    Shape1->setFill(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
}

void TForm1::ShowDisplay(u8 visible) {
    if (closing_) return;
    Image1->setVisible(visible != 0);
}

u8 TForm1::CalibrateChecked() const {
    return CheckBox2->isChecked() ? 1 : 0;
}

u8 TForm1::KeyFastChecked() const {
    return CheckBox3->isChecked() ? 1 : 0;
}

// --- Window events ------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* e) {
    // The recording ends with what the instrument shows now, so that its
    // replay checks it reaches the same screen and settings.
    if (recorder_ && !closing_) recorder_->End(SinceStartMs(), RecordedState(Label15->text().toStdString()));
    // From here on no handler reaches the firmware, and every loop of the
    // running instrument (splash, main loop) ends at once.
    closing_ = true;
    Timer1->stop();
    pacer_.stop();
    RequestShutdown();
    e->accept();
}

void TForm1::keyPressEvent(QKeyEvent* e) {
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
    if (e->type() == QEvent::MouseButtonPress && !hasFocus()) setFocus(Qt::MouseFocusReason);
    return QWidget::eventFilter(watched, e);
}
