// The instrument running inside the window: event handling and pacing in
// PumpEvents, the splash's length and the pass rate that follow from it,
// OFF, and closing the window while the instrument runs.
#include "WindowTestSupport.h"

#include "screens/Screens.h"
#include "window/Controls.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

// Runs check every 5 ms while the instrument is on (timers fire only inside
// PumpEvents then), until it returns true.
class Watcher {
public:
    explicit Watcher(std::function<bool()> check) : check_(std::move(check)) {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (check_()) timer_.stop();
        });
        timer_.start();
    }

private:
    std::function<bool()> check_;
    QTimer timer_;
};

u32 Passes() {
    // Every pass of the main loop drives the lamp hook once, lit or dark.
    return HookCalls[HOOK_LAMP_ON] + HookCalls[HOOK_LAMP_OFF];
}

} // namespace

class LoopTest : public WindowTest {};

TEST_F(LoopTest, PumpEventsRunsEveryPendingEventAndPacesThePassTo20Ms) {
    Host->PumpEvents(Host->Context); // a pass begins when this returns
    QElapsedTimer t;
    t.start();
    // A click that arrives while PumpEvents waits is handled in that call.
    QTimer::singleShot(8, form, [this] { QTest::mouseClick(form->Image5, Qt::LeftButton); });
    Host->PumpEvents(Host->Context);
    const qint64 ms = t.elapsed();
    EXPECT_EQ(KeyCode, KEY_MENU);
    EXPECT_GE(ms, 18);
    EXPECT_LE(ms, 45); // generous for a busy machine; alone it is 20
}

TEST_F(LoopTest, PumpEventsNeverWaitsOnceThePassHasLasted20Ms) {
    Host->PumpEvents(Host->Context);
    QThread::msleep(30); // a slow pass
    QApplication::postEvent(form->Image6, new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5),
                                                          QPointF(5, 5), Qt::LeftButton,
                                                          Qt::LeftButton, Qt::NoModifier));
    QApplication::postEvent(form->Image6, new QMouseEvent(QEvent::MouseButtonRelease, QPointF(5, 5),
                                                          QPointF(5, 5), Qt::LeftButton,
                                                          Qt::NoButton, Qt::NoModifier));
    QElapsedTimer t;
    t.start();
    Host->PumpEvents(Host->Context);
    EXPECT_LT(t.elapsed(), 10);
    EXPECT_EQ(KeyCode, KEY_RIGHT); // pending events are still all handled
}

TEST_F(LoopTest, OnRunsASplashOfAbout1600MsThenPassesAtAbout50PerSecondUntilOff) {
    QElapsedTimer t;
    qint64 splashEnd = -1, offAt = -1;
    u32 passesAtSplashEnd = 0;
    Watcher watch([&] {
        if (splashEnd < 0 && PowerState == POWER_ON) {
            splashEnd = t.elapsed();
            passesAtSplashEnd = Passes();
        }
        if (splashEnd >= 0 && t.elapsed() >= splashEnd + 1000) {
            offAt = t.elapsed();
            QTest::mouseClick(form->Button2, Qt::LeftButton);
            return true;
        }
        return t.elapsed() > 20000; // give up; the checks below fail
    });
    t.start();
    QTest::mouseClick(form->Button1, Qt::LeftButton); // returns after OFF
    const qint64 end = t.elapsed();

    ASSERT_GE(splashEnd, 0) << "the main loop never started";
    ASSERT_GE(offAt, 0);
    // 80 frames of 20 ms each (never under 19.5 ms, the pacer's rounding);
    // only the first may be shorter.
    EXPECT_GE(splashEnd, 79 * 39 / 2);
    EXPECT_LE(splashEnd, 3000);
    const double seconds = (end - splashEnd) / 1000.0;
    const u32 passes = Passes() - passesAtSplashEnd;
    EXPECT_LE(passes, seconds * 50 + 3); // never faster than one per 20 ms
    EXPECT_GE(passes, seconds * 15);     // and not starved
    std::printf("splash %lld ms; %u passes in %.2f s of main loop\n", (long long)splashEnd, passes, seconds);
    EXPECT_EQ(PowerState, POWER_OFF);
    EXPECT_EQ(ScreenHandler, HomeScreen);
    // The first pass set the lamp to dark red; OFF leaves it so.
    EXPECT_EQ(form->Shape1->fill(), QColor(128, 0, 0));
    EXPECT_FALSE(form->Image1->isHidden());
}

TEST_F(LoopTest, ClosingTheWindowDuringTheSplashEndsTheInstrumentAtOnce) {
    QTimer::singleShot(300, form, [this] { form->close(); });
    QElapsedTimer t;
    t.start();
    form->Button1Click();
    EXPECT_LT(t.elapsed(), 1200); // the splash alone lasts 1.6 s
    EXPECT_TRUE(form->Closing());
    EXPECT_EQ(ShutdownRequested, 1);
    EXPECT_EQ(PowerState, POWER_OFF);
}

TEST_F(LoopTest, ClosingTheWindowWhileRunningEndsTheLoopAndNothingReachesTheInstrumentAfter) {
    Watcher watch([this] {
        if (PowerState != POWER_ON) return false;
        form->close();
        return true;
    });
    form->Button1Click();
    EXPECT_TRUE(form->Closing());
    EXPECT_EQ(PowerState, POWER_OFF);
    EXPECT_FALSE(form->Timer1->isActive());

    const u8 tick = TickDivider;
    KeyCode = KEY_NONE;
    QTest::mouseClick(form->Image5, Qt::LeftButton);
    QTest::keyClick(form, Qt::Key_Right);
    QTest::qWait(250);
    EXPECT_EQ(KeyCode, KEY_NONE);
    EXPECT_EQ(TickDivider, tick);
    // ON once closed starts nothing.
    QElapsedTimer t;
    t.start();
    form->Button1Click();
    EXPECT_LT(t.elapsed(), 100);
}

TEST_F(LoopTest, OnWhileRunningPlaysTheSplashAgainAndOneOffEndsIt) {
    int splashes = 0;
    u8 last = POWER_OFF;
    bool clickedOn = false, clickedOff = false;
    QElapsedTimer t;
    t.start();
    Watcher watch([&] {
        if (PowerState == POWER_SPLASH && last != POWER_SPLASH) splashes++;
        last = PowerState;
        if (PowerState == POWER_ON && !clickedOn) {
            clickedOn = true;
            HomePage = 3;
            QTest::mouseClick(form->Button1, Qt::LeftButton);
        } else if (PowerState == POWER_ON && splashes == 2 && !clickedOff) {
            clickedOff = true;
            QTest::mouseClick(form->Button2, Qt::LeftButton);
            return true;
        }
        return t.elapsed() > 20000;
    });
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_EQ(splashes, 2);
    EXPECT_TRUE(clickedOff);
    EXPECT_EQ(PowerState, POWER_OFF);
    EXPECT_EQ(HomePage, 0); // power-on values were loaded again
}
