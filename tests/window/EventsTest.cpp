// Events from the window into the instrument: clicks on the face and the
// knob buttons, the keyboard and the wheel, the track bar and the check
// boxes as the firmware reads them.
#include "WindowTestSupport.h"

#include "window/Controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QWheelEvent>

class EventsTest : public WindowTest {
protected:
    QWidget* control(const char* name) { return form->findChild<QWidget*>(QString::fromLatin1(name)); }

    void wheel(QPoint at, int eighths) {
        QWheelEvent e(QPointF(at), QPointF(form->mapToGlobal(at)), QPoint(), QPoint(0, eighths), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form, &e);
    }
};

TEST_F(EventsTest, ClickOnEachKeyControlPostsItsCodeWhileOff) {
    const struct {
        const char* name;
        u8 code;
    } rows[] = {
        {"Image5", KEY_MENU}, {"Button3", KEY_CW},   {"Button4", KEY_CCW},
        {"Image3", KEY_LEFT}, {"Image6", KEY_RIGHT},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        KeyCode = KEY_NONE;
        InactivitySeconds = 3;
        QTest::mouseClick(control(row.name), Qt::LeftButton);
        Deliver();
        EXPECT_EQ(KeyCode, row.code);
        EXPECT_EQ(InactivitySeconds, 30);
    }
}

TEST_F(EventsTest, SecondClickBeforeThePassIsDroppedButReloadsTheCountdown) {
    QTest::mouseClick(form->Image3, Qt::LeftButton);
    Deliver();
    InactivitySeconds = 12;
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_LEFT);
    EXPECT_EQ(InactivitySeconds, 30);
}

TEST_F(EventsTest, FaceAreaIgnoresOtherButtonsAndAReleaseOutsideIt) {
    QTest::mouseClick(form->Image5, Qt::RightButton);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_NONE);
    // Pressed on the area, released off it: no click, as with a button.
    QTest::mousePress(form->Image5, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::mouseRelease(form->Image5, Qt::LeftButton, Qt::NoModifier, QPoint(80, 10));
    Deliver();
    EXPECT_EQ(KeyCode, KEY_NONE);
}

TEST_F(EventsTest, OffButtonAsksTheLoopToStop) {
    QTest::mouseClick(form->Button2, Qt::LeftButton);
    Deliver();
    EXPECT_EQ(StopRequested, 1);
}

TEST_F(EventsTest, KeysOfTheKeyboardPostTheirCodes) {
    const struct {
        const char* key;
        int qtKey;
        u8 code;
    } rows[] = {
        {"Right", Qt::Key_Right, KEY_CW},     {"Up", Qt::Key_Up, KEY_CW},
        {"Left", Qt::Key_Left, KEY_CCW},      {"Down", Qt::Key_Down, KEY_CCW},
        {"Return", Qt::Key_Return, KEY_MENU}, {"Enter", Qt::Key_Enter, KEY_MENU},
        {"Space", Qt::Key_Space, KEY_MENU},   {"F1", Qt::Key_F1, KEY_LEFT},
        {"F2", Qt::Key_F2, KEY_RIGHT},        {"A", Qt::Key_A, KEY_NONE},
        {"Escape", Qt::Key_Escape, KEY_NONE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.key);
        KeyCode = KEY_NONE;
        QTest::keyClick(form, Qt::Key(row.qtKey));
        Deliver();
        EXPECT_EQ(KeyCode, row.code);
    }
}

TEST_F(EventsTest, ArrowsMoveTheTrackBarOnlyWhileItHasTheFocus) {
    QTest::keyClick(form->TrackBar6, Qt::Key_Right);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_NONE);
    EXPECT_EQ(form->TrackBar6->value(), 2049);
    EXPECT_EQ(RawSensor, 2049);
    // Keys the track bar has no use for still reach the instrument.
    QTest::keyClick(form->TrackBar6, Qt::Key_F2);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_RIGHT);
}

TEST_F(EventsTest, ButtonsAndCheckBoxesNeverTakeTheKeyboard) {
    for (QWidget* w : {static_cast<QWidget*>(form->Button1), static_cast<QWidget*>(form->Button2),
                       static_cast<QWidget*>(form->Button3), static_cast<QWidget*>(form->Button4),
                       static_cast<QWidget*>(form->CheckBox2), static_cast<QWidget*>(form->CheckBox3)}) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_EQ(w->focusPolicy(), Qt::NoFocus);
    }
    form->TrackBar6->setFocus();
    QTest::mouseClick(form->Image2, Qt::LeftButton, Qt::NoModifier, QPoint(20, 150));
    Deliver();
    EXPECT_EQ(form->focusWidget(), form);
}

TEST_F(EventsTest, WheelOverFaceOrDisplayTurnsTheKnobOneKeyPerNotch) {
    const struct {
        const char* where;
        QPoint at;
        int eighths;
        u8 code;
    } rows[] = {
        {"face, up", QPoint(20, 150), 120, KEY_CW},
        {"face, down", QPoint(20, 150), -120, KEY_CCW},
        {"display, up", QPoint(150, 150), 120, KEY_CW},
        {"display, down", QPoint(269, 225), -120, KEY_CCW},
        {"face corner 309,309", QPoint(309, 309), 120, KEY_CW},
        {"right of the face 310,150", QPoint(310, 150), 120, KEY_NONE},
        {"check boxes", QPoint(400, 60), -120, KEY_NONE},
        {"half a notch", QPoint(150, 150), 60, KEY_NONE},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.where);
        // A fresh window each row, so no half notch is carried over.
        delete form;
        ResetInstrumentState();
        form = new TForm1(nullptr, FakeWall::Now, nullptr);
        Deliver(); // the host clock
        wheel(row.at, row.eighths);
        Deliver();
        EXPECT_EQ(KeyCode, row.code);
    }
}

TEST_F(EventsTest, HalfNotchesAddUpToOneKey) {
    wheel(QPoint(150, 150), 60);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_NONE);
    wheel(QPoint(150, 150), 60);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_CW);
    KeyCode = KEY_NONE;
    // Back down by one notch and a half: one anticlockwise key, half left.
    wheel(QPoint(150, 150), -180);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_CCW);
    KeyCode = KEY_NONE;
    wheel(QPoint(150, 150), -60);
    Deliver();
    EXPECT_EQ(KeyCode, KEY_CCW);
}

TEST_F(EventsTest, TrackBarSetsRawSensorAndLabel) {
    const struct {
        int position;
        const char* label;
    } rows[] = {
        {0, "0"}, {1, "1"}, {999, "999"}, {4095, "4095"}, {4096, "4096"}, {5000, "4096"}, {-3, "0"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.position);
        form->TrackBar6->setValue(2000); // a move, whatever the row's value
        form->TrackBar6->setValue(row.position);
        Deliver();
        EXPECT_EQ(form->Label15->text(), QString::fromLatin1(row.label));
        EXPECT_EQ(RawSensor, QString::fromLatin1(row.label).toInt());
    }
}

TEST_F(EventsTest, TrackBarWorksWhileTheInstrumentIsOff) {
    EXPECT_EQ(PowerState, POWER_OFF);
    QTest::keyClick(form->TrackBar6, Qt::Key_End);
    Deliver();
    EXPECT_EQ(RawSensor, 4096);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("4096"));
    QTest::keyClick(form->TrackBar6, Qt::Key_Home);
    Deliver();
    EXPECT_EQ(RawSensor, 0);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("0"));
}

TEST_F(EventsTest, CheckBoxesAreReadThroughTheHostPanel) {
    const struct {
        bool calibrate, keyFast;
    } rows[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << "calibrate " << row.calibrate << " keyfast " << row.keyFast);
        if (form->CheckBox2->isChecked() != row.calibrate) QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
        if (form->CheckBox3->isChecked() != row.keyFast) QTest::mouseClick(form->CheckBox3, Qt::LeftButton);
        Deliver();
        ASSERT_EQ(form->CheckBox2->isChecked(), row.calibrate);
        ASSERT_EQ(form->CheckBox3->isChecked(), row.keyFast);
        EXPECT_EQ(Host->CalibrateChecked(Host->Context), row.calibrate ? 1 : 0);
        EXPECT_EQ(Host->KeyFastChecked(Host->Context), row.keyFast ? 1 : 0);
    }
}

TEST_F(EventsTest, TickFiresEveryFifthEventPointWhileOff) {
    StopwatchRunning = 1;
    const uint64_t start = form->Session().Sim().NowMs();
    for (int i = 0; i < 50; i++) IdlePoint();
    // 50 frames of 20 ms of virtual time: ten ticks, however long it took.
    EXPECT_EQ(form->Session().Sim().NowMs(), start + 1000);
    EXPECT_EQ(StopwatchTenths, 10u);
}

TEST_F(EventsTest, InputsWaitForTheirEventPointAndComeTwoApartAsInAReplay) {
    QTest::mouseClick(form->Image5, Qt::LeftButton);
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton);
    EXPECT_EQ(KeyCode, KEY_NONE); // not before an event point
    EXPECT_EQ(Host->CalibrateChecked(Host->Context), 0);
    IdlePoint(); // both at one event point, in order
    EXPECT_EQ(KeyCode, KEY_MENU);
    EXPECT_EQ(Host->CalibrateChecked(Host->Context), 1);
    KeyCode = KEY_NONE;
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    IdlePoint();
    EXPECT_EQ(KeyCode, KEY_NONE); // the next event point after a delivery is skipped
    IdlePoint();
    EXPECT_EQ(KeyCode, KEY_CW);
}

// A new UTC takes effect at its whole second. A click delivered at the event
// point just before would hold the next delivery back by one, setting the
// clock a frame late: every once-a-second read would then fall just before
// the second turns, and the instrument would show a second less for good.
// The click waits instead, and comes with the clock.
TEST_F(EventsTest, AClickJustBeforeANewUtcWaitsSoTheClockIsNotLate) {
    const qint64 solstice = 1782052200; // 2026-06-21 14:30:00 UTC
    const uint64_t second = (form->Session().Sim().NowMs() + 1999) / 1000 * 1000;
    form->Session().SetUtc(solstice);
    const uint32_t frame = form->Session().Sim().FrameMs();
    while (form->Session().Sim().NowMs() + 2 * frame < second) IdlePoint();
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    IdlePoint(); // the event point just before the second
    EXPECT_EQ(KeyCode, KEY_NONE);
    IdlePoint();
    ASSERT_EQ(form->Session().Sim().NowMs(), second);
    EXPECT_EQ(form->Session().Sim().UtcMs(), solstice * 1000);
    EXPECT_EQ(KeyCode, KEY_CW);
}
