// WindowSession, going back and forward in the session, and saving and
// loading it: the parts that must first end the firmware's loops when they
// run on the stack (the idle loop then finishes them, see RunFirmware).
#include "WindowSession.h"

#include "FormView.h"
#include "SessionScript.h"
#include "runtime/Runtime.h"
#include "state/StateFile.h"

#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>

#include <algorithm>
#include <cstring>

SessionState WindowSession::CaptureSession() const {
    SessionState s = panel_.CaptureSession();
    s.point = points_;
    s.powerOnDue = powerOnDue_;
    return s;
}

void WindowSession::PutBackSession(const SessionState& s) {
    panel_.PutBackSession(s);
    points_ = s.point;
    following_ = false;
    ShowPanel();
    SyncDisplayVisibility();
    frameDirty_ = true;
    PresentFrame();
    powerOnDue_ = s.powerOnDue;
    resumeDue_ = s.Resumable() && PowerState == POWER_ON && !s.powerOnDue;
    queue_.Clear();
    // The next input reaches the instrument where the runner would read it.
    nextDelivery_ = points_ + 1;
    for (uint64_t p = points_ > 0 ? points_ - 1 : 0; p <= points_; p++)
        for (const PanelInput& in : history_.InputsAt(p))
            if (in.kind != PanelInput::UTC) nextDelivery_ = std::max(nextDelivery_, p + 2);
}

void WindowSession::TravelTo(uint64_t point) {
    if (closing_ || recording_.Active()) return;
    point = std::max(history_.StartPoint(), std::min(point, history_.End()));
    if (!Paused()) SetPaused(true);
    stepBudget_ = 0;
    resumeAfterCatchUp_ = false;
    if (inFirmware_ > 0) {
        // End the firmware's loops first (nothing more is drawn); the idle
        // loop then travels.
        travelDue_ = true;
        travelTarget_ = point;
        EndFirmwareLoops();
        return;
    }
    DoTravel(point);
}

void WindowSession::DoTravel(uint64_t point) {
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

void WindowSession::LeaveSplashView() {
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
uint64_t WindowSession::ShownPoint() const { return inFirmware_ > 0 && !travelDue_ ? points_ + 1 : points_; }

// The point a save takes: the one shown in the splash, or where a travel is
// going, or where the session stands.
uint64_t WindowSession::PointShown() const {
    return splashView_ ? splashTo_ : travelTarget_ ? travelTarget_ : points_;
}

void WindowSession::BackPass() {
    const uint64_t from = ShownPoint();
    TravelTo(from > 0 ? from - 1 : 0);
}

void WindowSession::BackSecond() {
    const uint64_t from = ShownPoint();
    TravelTo(from > PointsPerSecond() ? from - PointsPerSecond() : 0);
}

void WindowSession::ForwardPass() {
    if (points_ < history_.End())
        TravelTo(points_ + 1);
    else {
        if (!Paused()) SetPaused(true);
        Step(1);
    }
}

void WindowSession::ForwardSecond() {
    if (points_ + PointsPerSecond() <= history_.End())
        TravelTo(points_ + PointsPerSecond());
    else {
        if (!Paused()) SetPaused(true);
        Step(unsigned(points_ + PointsPerSecond() - std::max(points_, history_.End())));
        if (points_ < history_.End()) TravelTo(history_.End());
    }
}

uint64_t WindowSession::SavePointFor(uint64_t point) const {
    // The runner reads the line after an input two event points on: not at
    // the very next one.
    if (point > history_.StartPoint()) {
        for (const PanelInput& in : history_.InputsAt(point - 1))
            if (in.kind != PanelInput::UTC) return point - 1;
    }
    return point;
}

void WindowSession::SaveSession(const QString& path) {
    if (closing_) return;
    if (recording_.Active()) {
        emit SessionSaved(false, QStringLiteral("Stop the recording first."));
        return;
    }
    const uint64_t point = SavePointFor(PointShown());
    if (inFirmware_ > 0) {
        saveAfterTravel_ = path;
        TravelTo(point);
        return;
    }
    if (point != points_ || splashView_) TravelTo(point);
    WriteSession(path);
}

void WindowSession::WriteSession(const QString& path) {
    std::string why;
    if (!WriteSessionScript(history_, splashView_ ? splashTo_ : points_, path.toStdString(), panel_, &why)) {
        emit SessionSaved(false, QString::fromStdString(why));
        return;
    }
    emit SessionSaved(true, QStringLiteral("Saved the session to %1 (replay it with tmx5 run).").arg(path));
}

bool WindowSession::SaveStateTo(const QString& path, QString* error) {
    if (recording_.Active()) return *error = QStringLiteral("Stop the recording first."), false;
    const uint64_t point = PointShown();
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
    std::string why;
    if (!WriteStateFile(path.toStdString(), CaptureInstrument(panel_.Snapshot()), &why))
        return *error = QString::fromStdString(why), false;
    return true;
}

bool WindowSession::LoadStateFrom(const QString& path, QString* error) {
    if (recording_.Active()) return *error = QStringLiteral("Stop the recording first."), false;
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
        EndFirmwareLoops();
        return true;
    }
    PutBackState(*saved);
    return true;
}

void WindowSession::SaveSessionAs(QWidget* parent) {
    const QString path = QFileDialog::getSaveFileName(
        parent, QStringLiteral("Save the session as a scenario"),
        QDir::current().filePath(QStringLiteral("session.tmx")), QStringLiteral("Scenario scripts (*.tmx)"));
    if (!path.isEmpty()) SaveSession(path);
}

void WindowSession::SaveStateAs(QWidget* parent) {
    const QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save the state"),
                                                      QDir::current().filePath(QStringLiteral("tmx5.state")),
                                                      QStringLiteral("Saved states (*.state)"));
    if (path.isEmpty()) return;
    QString why;
    if (!SaveStateTo(path, &why))
        emit Message(QStringLiteral("Cannot save the state: %1").arg(why));
    else if (saveStateAfterTravel_.isEmpty())
        emit Message(QStringLiteral("Saved the state as %1.").arg(path));
}

void WindowSession::LoadStateAs(QWidget* parent) {
    const QString path =
        QFileDialog::getOpenFileName(parent, QStringLiteral("Load a state"), QDir::currentPath(),
                                     QStringLiteral("Saved states (*.state);;All files (*)"));
    if (path.isEmpty()) return;
    QString why;
    if (!LoadStateFrom(path, &why)) {
        emit Message(QStringLiteral("Cannot load the state: %1").arg(why));
        QMessageBox::warning(parent, QStringLiteral("Load state"),
                             QStringLiteral("Cannot load the state:\n%1").arg(why));
    } else if (!loadDue_) {
        emit Message(QStringLiteral("Loaded %1.").arg(path));
    }
}

bool WindowSession::HandleTravelKey(QKeyEvent* e, QWidget* dialogParent) {
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
        SaveSessionAs(dialogParent);
    } else if (mods == (Qt::ControlModifier | Qt::ShiftModifier) && e->key() == Qt::Key_S) {
        SaveStateAs(dialogParent);
    } else if (mods == Qt::ControlModifier && e->key() == Qt::Key_O) {
        LoadStateAs(dialogParent);
    } else {
        return false;
    }
    emit TravelKeyUsed();
    e->accept();
    return true;
}
