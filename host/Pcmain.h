// The simulator window: the instrument's face with its lamp, display and
// three button areas, and the controls that stand in for the instrument's
// surroundings (power, knob, sensor, the two check boxes).
//
// The controls keep the window's own names and are public, as a form's
// fields are, so that tests and the host panel can reach them. Each event
// handler is a slot of the same name as the firmware handler it calls.
#pragma once

#include "runtime/HostPanel.h"

#include <QColor>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <string>

class QCheckBox;
class QFrame;
class QLabel;
class QPushButton;
class QSlider;
class QStatusBar;
class LampShape;
class ClickArea;
class CanvasImage;
class Recorder;

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
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

    // --- What the firmware asks of the window (see WindowPanel.cpp) ---------
    // Copies FrameBuffer into Image1, each display pixel as a 2 x 2 block.
    void RenderLcd();
    // Runs every pending event, then keeps handling events as they arrive
    // until one pass length has gone by since the previous call returned.
    void PumpEvents();
    // Colour word with red in the low byte, then green, then blue.
    void SetLampColour(u32 colour);
    void ShowDisplay(u8 visible);
    u8 CalibrateChecked() const;
    u8 KeyFastChecked() const;

    // An unlit display pixel: the palette's inactive window colour.
    QColor UnlitColour() const;
    // True once the window has started closing; no event is handled after.
    bool Closing() const { return closing_; }

    // Records every input from now on (recorder may be null: no recording):
    // writes the script's header and the host clock now, then a line for each
    // input the handlers pass on, and at the close the state the instrument
    // shows. The recorder must outlive the window or be detached first.
    void StartRecording(Recorder* recorder);
    // Milliseconds since the tick started, the recording's time.
    qint64 SinceStartMs() const { return sinceStart_.elapsed(); }

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
    // loop reads them every pass); these only record a change.
    void CheckBox2Change(bool checked);
    void CheckBox3Change(bool checked);

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Passes an input to the recorder: as a command, or as a comment when
    // ignoredBecause says why the instrument will not act on it.
    void Record(const std::string& command, const char* ignoredBecause = nullptr);
    // A key's producer is about to run: record it, or, when a key is already
    // pending and this one will be dropped, say so.
    void RecordKey(const char* word);

    bool closing_ = false;
    Recorder* recorder_ = nullptr;
    QElapsedTimer sinceStart_; // started with the tick, the recording's zero
    qint64 startUtc_ = 0;      // the host clock then, UTC seconds since 1970
    int wheelRemainder_ = 0; // eighths of a degree not yet turned into notches
    QTimer pacer_;           // wakes PumpEvents at the end of the pass
    QElapsedTimer passClock_; // since the previous PumpEvents returned
    HostPanel panel_;         // the firmware's calls into this form, attached while it lives
};

