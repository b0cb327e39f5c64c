// The instrument running inside the window on the simulated clock: the
// splash and the passes as event points, virtual time and the host clock,
// OFF, ON while running, and closing the window while the instrument runs.
#include "WindowTestSupport.h"

#include "screens/Screens.h"
#include "window/Controls.h"

#include <QPushButton>

class LoopTest : public WindowTest {};

TEST_F(LoopTest, SplashIsEightyEventPointsThenOnePassAPointUntilOff) {
    uint64_t mainLoopAt = 0;
    RunOn([&] {
        if (!mainLoopAt && PowerState == POWER_ON) mainLoopAt = form->Session().EventPoints();
        if (Passes() == 100) form->Button2Click();
    });
    // ON at the event point after the one that set the host clock (50),
    // the 80 splash frames at the next 80.
    EXPECT_EQ(mainLoopAt, 131u);
    EXPECT_EQ(PowerState, POWER_OFF);
    EXPECT_EQ(ScreenHandler, HomeScreen);
    // OFF, clicked before the event point that ends pass 99 (the lamp hook
    // also runs once after the splash), reached the instrument there and
    // ended the loop: one event point a pass, none more.
    EXPECT_EQ(Passes(), 100u);
    EXPECT_EQ(form->Session().EventPoints(), 131u + 99u);
    // Virtual time: one frame period an event point; the host clock the
    // computer's, followed from the whole second after the start.
    EXPECT_EQ(form->Session().Sim().NowMs(), 20u * form->Session().EventPoints());
    EXPECT_EQ(form->Session().Sim().UtcMs(), FakeStartSeconds * 1000 + qint64(form->Session().Sim().NowMs()));
    EXPECT_EQ(form->Session().Sim().UtcMs(), FakeWall::ns / 1000000);
    EXPECT_EQ(form->Shape1->fill(), QColor(128, 0, 0));
    EXPECT_FALSE(form->Image1->isHidden());
}

TEST_F(LoopTest, ClosingTheWindowWhileRunningEndsTheLoopAndNothingReachesTheInstrumentAfter) {
    RunOn([this] {
        if (PowerState == POWER_ON) form->close();
    });
    EXPECT_TRUE(form->Session().Closing());
    EXPECT_EQ(PowerState, POWER_OFF);
    const u8 tick = TickDivider;
    KeyCode = KEY_NONE;
    QTest::mouseClick(form->Image5, Qt::LeftButton);
    QTest::keyClick(form, Qt::Key_Right);
    for (int i = 0; i < 10; i++) IdlePoint();
    EXPECT_EQ(KeyCode, KEY_NONE);
    EXPECT_EQ(TickDivider, tick);
}

TEST_F(LoopTest, OnWhileRunningPlaysTheSplashAgainAndOneOffEndsIt) {
    int splashes = 0;
    u8 last = POWER_OFF;
    bool clickedOn = false, clickedOff = false;
    RunOn([&] {
        if (PowerState == POWER_SPLASH && last != POWER_SPLASH) splashes++;
        last = PowerState;
        if (PowerState == POWER_ON && !clickedOn) {
            clickedOn = true;
            HomePage = 3;
            QTest::mouseClick(form->Button1, Qt::LeftButton);
        } else if (PowerState == POWER_ON && splashes == 2 && !clickedOff) {
            clickedOff = true;
            QTest::mouseClick(form->Button2, Qt::LeftButton);
        }
    });
    EXPECT_EQ(splashes, 2);
    EXPECT_TRUE(clickedOff);
    EXPECT_EQ(PowerState, POWER_OFF);
    EXPECT_EQ(HomePage, 0); // power-on values were loaded again
}
