// The simulator controls: a window of its own beside the instrument window
// (F12 or Ctrl+T there, or --tools), so the instrument window keeps its
// layout. It sets the host clock, pauses, steps and speeds up the simulated
// clock, shows the instrument's state, takes screenshots and records.
#pragma once

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QTableWidget;
class Recorder;
class WindowSession;

class SimControls : public QWidget {
    Q_OBJECT
public:
    // session: the instrument window's session; window: the instrument
    // window itself (its screenshot and the dialogs' parent).
    SimControls(WindowSession* session, QWidget* window, QWidget* parent = nullptr);
    ~SimControls() override;

    // UTC
    QDateTimeEdit* UtcEdit;
    QPushButton* SetUtcButton;
    QCheckBox* FollowBox;
    // Speed
    QPushButton* PauseButton; // Pause / Resume
    QPushButton* StepPassButton;
    QPushButton* StepSecondButton;
    QPushButton* SpeedButtons[5]; // 1x, 10x, 60x, 600x, Fastest
    QLabel* StatusLabel;          // virtual time, passes, UTC, speed
    // Going back and forward in the session
    QSlider* Timeline; // the session's event points, from its start to its end
    QPushButton* BackSecondButton;
    QPushButton* BackPassButton;
    QPushButton* ForwardPassButton;
    QPushButton* ForwardSecondButton;
    // Inspector
    QLineEdit* FilterEdit;
    QTableWidget* Inspector;
    // Screenshot and recording
    QPushButton* ScreenshotButton;
    QPushButton* RecordButton; // Record... / Stop
    QPushButton* CopyButton;   // the display onto the clipboard
    QPushButton* SaveSessionButton;
    QPushButton* SaveStateButton;
    QPushButton* LoadStateButton;
    QLabel* MessageLabel;

    // Where screenshots go (default: the pictures folder, else the home
    // folder).
    void SetScreenshotFolder(const QString& folder) { screenshotFolder_ = folder; }
    // Starts recording into path (what Record... does after asking for the
    // file); false, with the reason shown, when it cannot.
    bool RecordTo(const QString& path);
    // Takes the screenshots (display, face, window) into the folder set and
    // says where.
    void TakeScreenshots();
    // Record... or Stop, as the button does.
    void RecordClicked();
    // Reads the state into the inspector and the status line now (a timer
    // does it at most 10 times a wall second while the window is shown).
    void Refresh();
    // Inspector rows whose value changed at the last refresh.
    int HighlightedRows() const;

private:
    void SetSpeedIndex(int index);
    void UpdateButtons();
    void ApplyFilter();

    WindowSession* session_;
    QWidget* window_;
    QString screenshotFolder_;
    std::unique_ptr<Recorder> recorder_;
    std::vector<std::string> values_; // what each inspector row showed
    // Per row, the last refreshes at which it changed, one bit each (the
    // lowest the latest): a row that changes at nearly every refresh (a
    // counter of passes or ticks) is not highlighted, so it does not blink.
    std::vector<unsigned> changes_;
    bool utcEdited_ = false; // the user has edited the UTC field since the last Set
};
