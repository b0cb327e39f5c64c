// The simulator window: the instrument's face with its lamp, display and
// three button areas, and the controls that stand in for the instrument's
// surroundings (power, knob, sensor, the two check boxes).
//
// TForm1 is the form: it makes the controls and handles their events. Every
// input path (a click, the keyboard, the wheel, the track bar, a check box)
// ends in one of the handlers, which queue the input in the window's session
// (window/WindowSession.h). The session runs the instrument on the simulated
// clock, paced to the wall clock, and delivers the inputs at its event
// points; it shows what the instrument's panel shows through the form, which
// implements its FormView.
//
// The controls keep the window's own names and are public, as a form's
// fields are, so that tests and the simulator controls can reach them. Each
// event handler is a slot of the same name as the firmware handler it calls.
#pragma once

#include "sim/VirtualClock.h"
#include "window/FormView.h"

#include <QColor>
#include <QWidget>

#include <memory>
#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QStatusBar;
class QTimer;
class QKeyEvent;
class QContextMenuEvent;
class LampShape;
class ClickArea;
class CanvasImage;
class SimPanel;
class WindowSession;

class TForm1 : public QWidget, private FormView {
    Q_OBJECT
public:
    // wall: the pacer's wall clock, the computer's UTC in nanoseconds (a test
    // passes a fake one, together with the session's SetWaitHook).
    explicit TForm1(QWidget* parent = nullptr, Pacer::WallClock wall = Pacer::SystemNanoseconds,
                    void* wallContext = nullptr);
    ~TForm1() override;

    // In creation order: later controls lie on top of earlier ones.
    QLabel* Image2;
    QLabel* Label15;
    LampShape* Shape1;
    ClickArea* Image3;
    ClickArea* Image5;
    ClickArea* Image6;
    QLabel* Label11;
    QPushButton* Button1;
    QPushButton* Button2;
    QSlider* TrackBar6;
    QStatusBar* StatusBar1;
    QFrame* Panel1;
    CanvasImage* Image1;
    QCheckBox* CheckBox2;
    QCheckBox* CheckBox3;
    QPushButton* Button3;
    QPushButton* Button4;
    QTimer* Timer1;

    // The instrument's run behind the window: pacing, inputs, going back,
    // recording, saving and loading.
    WindowSession& Session() { return *session_; }
    const WindowSession& Session() const { return *session_; }

    // An unlit display pixel: the palette's inactive window colour.
    QColor UnlitColour() const;
    // The version, the keys and where the README is.
    void ShowAbout();

signals:
    // The simulator controls window was asked for (F12, Ctrl+T).
    void ToolsRequested();
    // The context menu asked for the controls' screenshot or recording.
    void ScreenshotRequested();
    void RecordRequested();

public slots:
    void Button1Click();
    void Button2Click();
    void Timer1Timer();
    void TrackBar6Change(int position);
    void Image3Click();
    void Image5Click();
    void Image6Click();
    void Button3Click();
    void Button4Click();
    // The check boxes have no handler of their own in the instrument (the
    // loop reads them every pass); these only queue a change.
    void CheckBox2Change(bool checked);
    void CheckBox3Change(bool checked);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // What the session shows through the form (FormView).
    void Tick() override { Timer1Timer(); }
    void ShowControls(int trackBar, bool calibrate, bool keyFast) override;
    void ShowLabel15(const std::string& text) override;
    void ShowLamp(u32 colour) override;
    void ShowDisplayImage(bool visible) override;
    void PaintDisplay(const SimPanel& panel) override;
    int TrackBarPosition() const override;
    bool CalibrateBox() const override;
    bool KeyFastBox() const override;
    void CloseSoon() override;

    int wheelRemainder_ = 0; // eighths of a degree not yet turned into notches
    std::unique_ptr<WindowSession> session_;
};
