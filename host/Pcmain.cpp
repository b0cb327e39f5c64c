#include "Pcmain.h"

#include "lcd/Lcd.h"
#include "runtime/Runtime.h"
#include "sim/SimPanel.h"
#include "window/Controls.h"
#include "window/DisplayPicture.h"
#include "window/Layout.h"
#include "window/SessionRecording.h"
#include "window/WindowSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QContextMenuEvent>
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
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>

// The face and icon are built into tmx5window, a static library, whose
// resource initialiser the linker would otherwise drop.
static void LoadWindowResources() { Q_INIT_RESOURCE(window); }

namespace {

// One notch of a mouse wheel, in the eighths of a degree Qt reports.
const int WheelNotch = 120;

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
                          Qt::MSWindowsFixedSizeDialogHint) {
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

    // The session attaches itself to the firmware as its panel and clock.
    session_.reset(new WindowSession(this, wall, wallContext));
    setFocus(Qt::OtherFocusReason);
}

TForm1::~TForm1() {
    // The session detaches from the firmware; nothing reaches the form after.
    session_.reset();
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
            "<p>The README and the guides in docs/ of the sources, and "
            "<tt>man tmx5</tt> say more.</p>")
            .arg(QStringLiteral(TMX5_VERSION), QString::fromLatin1(FirmwareVersion)));
}

void TForm1::contextMenuEvent(QContextMenuEvent* e) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Simulator controls\tF12"), this, [this] { emit ToolsRequested(); });
    WindowSession* session = session_.get();
    menu.addAction(session->Paused() ? QStringLiteral("Resume\tCtrl+P") : QStringLiteral("Pause\tCtrl+P"),
                   this, [session] { session->SetPaused(!session->Paused()); });
    menu.addAction(QStringLiteral("Back one second\tCtrl+Left"), session, &WindowSession::BackSecond);
    menu.addSeparator();
    menu.addAction(QStringLiteral("Save session as scenario...\tCtrl+S"), this,
                   [this, session] { session->SaveSessionAs(this); });
    menu.addAction(QStringLiteral("Save state...\tCtrl+Shift+S"), this,
                   [this, session] { session->SaveStateAs(this); });
    menu.addAction(QStringLiteral("Load state...\tCtrl+O"), this,
                   [this, session] { session->LoadStateAs(this); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("Screenshot"), this, [this] { emit ScreenshotRequested(); });
    menu.addAction(
        session->Recording().Active() ? QStringLiteral("Stop recording") : QStringLiteral("Record..."), this,
        [this] { emit RecordRequested(); });
    menu.addSeparator();
    menu.addAction(QStringLiteral("About"), this, &TForm1::ShowAbout);
    menu.exec(e->globalPos());
    e->accept();
}

// --- Event handlers ---------------------------------------------------------
// Every input path (a click, the keyboard, the wheel) ends in one of these,
// which queue the input for the next event point whose turn it is.

void TForm1::Button1Click() { session_->Enqueue(PanelInput::ON); }

void TForm1::Button2Click() { session_->Enqueue(PanelInput::OFF); }

void TForm1::Timer1Timer() {
    if (!session_->Closing()) ::Timer1Timer();
}

void TForm1::TrackBar6Change(int position) { session_->Enqueue(PanelInput::SENSOR, position); }

void TForm1::Image3Click() { session_->Enqueue(PanelInput::KEY, KEY_LEFT); }

void TForm1::Image5Click() { session_->Enqueue(PanelInput::KEY, KEY_MENU); }

void TForm1::Image6Click() { session_->Enqueue(PanelInput::KEY, KEY_RIGHT); }

void TForm1::Button3Click() { session_->Enqueue(PanelInput::KEY, KEY_CW); }

void TForm1::Button4Click() { session_->Enqueue(PanelInput::KEY, KEY_CCW); }

void TForm1::CheckBox2Change(bool checked) { session_->Enqueue(PanelInput::CALIBRATE, checked ? 1 : 0); }

void TForm1::CheckBox3Change(bool checked) { session_->Enqueue(PanelInput::KEYFAST, checked ? 1 : 0); }

// --- What the session shows -----------------------------------------------------

QColor TForm1::UnlitColour() const { return ::UnlitColour(this); }

void TForm1::ShowControls(int trackBar, bool calibrate, bool keyFast) {
    for (QWidget* w : {static_cast<QWidget*>(TrackBar6), static_cast<QWidget*>(CheckBox2),
                       static_cast<QWidget*>(CheckBox3)})
        w->blockSignals(true);
    TrackBar6->setValue(trackBar);
    CheckBox2->setChecked(calibrate);
    CheckBox3->setChecked(keyFast);
    for (QWidget* w : {static_cast<QWidget*>(TrackBar6), static_cast<QWidget*>(CheckBox2),
                       static_cast<QWidget*>(CheckBox3)})
        w->blockSignals(false);
}

void TForm1::ShowLabel15(const std::string& text) { Label15->setText(QString::fromStdString(text)); }

void TForm1::ShowLamp(u32 colour) {
    Shape1->setFill(QColor(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF));
}

void TForm1::ShowDisplayImage(bool visible) {
    if (Image1->isVisibleTo(Panel1) != visible) Image1->setVisible(visible);
}

void TForm1::PaintDisplay(const SimPanel& panel) {
    ::PaintDisplay(&Image1->canvas(), panel.Frame(), UnlitColour());
    Image1->update(0, 0, LCD_WIDTH * Layout::Scale, LCD_HEIGHT * Layout::Scale);
}

int TForm1::TrackBarPosition() const { return TrackBar6->value(); }

bool TForm1::CalibrateBox() const { return CheckBox2->isChecked(); }

bool TForm1::KeyFastBox() const { return CheckBox3->isChecked(); }

void TForm1::CloseSoon() { QTimer::singleShot(0, this, &QWidget::close); }

// --- Window events ------------------------------------------------------------

void TForm1::closeEvent(QCloseEvent* e) {
    // A recording ends with the state at the event point where its replay
    // reads the closing lines, at most two event points from now: the
    // window closes once they are written.
    if (session_->Recording().CloseWhenEnded()) {
        e->ignore();
        return;
    }
    // From here on no handler reaches the firmware, and every loop of the
    // running instrument (splash, main loop) ends at once.
    session_->Close();
    e->accept();
}

void TForm1::keyPressEvent(QKeyEvent* e) {
    if (session_->HandleTravelKey(e, this)) return;
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
        if (e->type() == QEvent::KeyPress && session_->HandleTravelKey(static_cast<QKeyEvent*>(e), this))
            return true;
        return QWidget::eventFilter(watched, e);
    }
    if (e->type() == QEvent::MouseButtonPress && !hasFocus()) setFocus(Qt::MouseFocusReason);
    return QWidget::eventFilter(watched, e);
}
