// The simulator controls: setting the host clock, pause, steps and speeds
// against the fake wall clock, following the computer's clock, the
// inspector, screenshots.
#include "WindowTestSupport.h"

#include "frames/TextCheck.h"
#include "lcd/Lcd.h"
#include "screens/Screens.h"
#include "state/StateFile.h"
#include "window/Controls.h"
#include "window/SimControls.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

class ControlsTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        controls = new SimControls(&form->Session(), form, form);
        controls->show();
    }
    // Header time of the home page, as the display shows it.
    static bool HeaderShows(const u8* frame, const char* time) {
        TextExpectation t;
        t.x = 82;
        t.y = 10;
        t.centred = true;
        t.tall = true;
        t.text = time;
        std::string strips;
        return CompareText(t, frame, &strips) == 0;
    }
    SimControls* controls = nullptr;
};

TEST_F(ControlsTest, SetUtcTheHomePageHeaderThenShowsThatTime) {
    controls->UtcEdit->setDateTime(QDateTime(QDate(2031, 2, 3), QTime(4, 5, 6), Qt::UTC));
    QTest::mouseClick(controls->SetUtcButton, Qt::LeftButton);
    EXPECT_FALSE(form->Session().Following());
    const uint64_t setAt = (form->Session().Sim().NowMs() + 20 + 999) / 1000 * 1000; // the next whole second
    bool seen = false;
    RunOn([&] {
        // The clock was set at the first whole virtual second; the pass
        // after the tick at 4 s reads it 3 s later.
        if (form->Session().Sim().NowMs() == setAt + 3000) {
            seen = HeaderShows(form->Session().LastFrame(), "04:05:09") &&
                   !HeaderShows(form->Session().LastFrame(), "04:05:08");
            form->Button2Click();
        }
    });
    EXPECT_TRUE(seen);
    EXPECT_EQ(UtcTime.Year, 131u);
    EXPECT_EQ(UtcTime.Month, 1u);
    EXPECT_EQ(UtcTime.Day, 3u);
}

TEST_F(ControlsTest, PausedNoEventPointNoPassNoTickRunsAndAStepRunsExactlyOne) {
    // Off: the idle loop stands still however much wall time passes.
    StopwatchRunning = 1;
    IdlePoint();
    QTest::mouseClick(controls->PauseButton, Qt::LeftButton);
    ASSERT_TRUE(form->Session().Paused());
    const uint64_t points = form->Session().EventPoints();
    const u32 tenths = StopwatchTenths;
    QTest::mouseClick(form->Image5, Qt::LeftButton);
    for (int i = 0; i < 20; i++) {
        FakeWall::ns += 1000000000;
        form->Session().IdleFrame();
    }
    EXPECT_EQ(form->Session().EventPoints(), points);
    EXPECT_EQ(StopwatchTenths, tenths);
    EXPECT_EQ(KeyCode, KEY_NONE); // the click waits
    QTest::mouseClick(controls->StepSecondButton, Qt::LeftButton);
    for (int i = 0; i < 100; i++) form->Session().IdleFrame();
    EXPECT_EQ(form->Session().EventPoints(), points + 50);
    EXPECT_EQ(StopwatchTenths, tenths + 10);
    EXPECT_EQ(KeyCode, KEY_MENU); // delivered at the first of them

    // On: pause after ten passes; the loop waits with no pass and no tick
    // until a step, which runs exactly one pass.
    QTest::mouseClick(controls->PauseButton, Qt::LeftButton); // resume
    ASSERT_FALSE(form->Session().Paused());
    struct {
        uint64_t points = 0;
        u32 passes = 0, stepped = 0;
        u8 tick = 0;
        bool heldStill = false;
    } seen;
    bool paused = false;
    RunOn([&] {
        if (PowerState != POWER_ON || Passes() < 10 || paused) return;
        paused = true;
        QTest::mouseClick(controls->PauseButton, Qt::LeftButton);
        seen.points = form->Session().EventPoints();
        seen.passes = Passes();
        seen.tick = TickDivider;
        // Runs while the paused loop waits for window events.
        QTimer::singleShot(30, form, [&] {
            seen.heldStill = form->Session().EventPoints() == seen.points && Passes() == seen.passes &&
                             TickDivider == seen.tick;
            QTest::mouseClick(controls->StepPassButton, Qt::LeftButton);
            QTimer::singleShot(30, form, [&] {
                seen.stepped = Passes() - seen.passes;
                EXPECT_EQ(form->Session().EventPoints(), seen.points + 1);
                form->Session().SetPaused(false);
                form->Button2Click();
            });
        });
    });
    EXPECT_TRUE(seen.heldStill);
    EXPECT_EQ(seen.stepped, 1u);
    EXPECT_EQ(PowerState, POWER_OFF);
}

TEST_F(ControlsTest, EachSpeedRunsThatManyVirtualSecondsAWallSecond) {
    const struct {
        int button;
        int seconds; // virtual seconds in one wall second
    } rows[] = {{0, 1}, {1, 10}, {2, 60}, {3, 600}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.seconds);
        QTest::mouseClick(controls->SpeedButtons[row.button], Qt::LeftButton);
        EXPECT_TRUE(controls->SpeedButtons[row.button]->isChecked());
        const qint64 wallStart = FakeWall::ns;
        const uint64_t virtualStart = form->Session().Sim().NowMs();
        while (form->Session().Sim().NowMs() < virtualStart + 1000u * row.seconds) IdlePoint();
        // To the frame: the next frame is due exactly one wall second on.
        EXPECT_EQ(FakeWall::ns - wallStart, 1000000000);
    }
    EXPECT_FALSE(form->Session().Following()); // only 1x from the start follows the computer
}

TEST_F(ControlsTest, FollowingKeepsToTheComputersClockAndResynchronisesAfterASleep) {
    for (int i = 0; i < 3000; i++) IdlePoint();
    EXPECT_TRUE(form->Session().Following());
    EXPECT_LE(std::llabs(form->Session().Sim().UtcMs() - FakeWall::ns / 1000000), 100);
    // The machine sleeps for an hour: no burst of frames, the clock jumps.
    FakeWall::ns += 3600LL * 1000000000;
    const uint64_t points = form->Session().EventPoints();
    for (int i = 0; i < 60; i++) IdlePoint();
    EXPECT_LE(form->Session().EventPoints(), points + 60);
    EXPECT_LE(std::llabs(form->Session().Sim().UtcMs() - FakeWall::ns / 1000000), 100);
    // Set UTC leaves following; the box puts it back at the computer's time.
    form->Session().SetUtc(FakeStartSeconds - 86400);
    Deliver();
    EXPECT_FALSE(form->Session().Following());
    controls->Refresh();
    QTest::mouseClick(controls->FollowBox, Qt::LeftButton);
    for (int i = 0; i < 60; i++) IdlePoint();
    EXPECT_TRUE(form->Session().Following());
    EXPECT_LE(std::llabs(form->Session().Sim().UtcMs() - FakeWall::ns / 1000000), 100);
}

TEST_F(ControlsTest, InspectorHighlightsChangesAndFilters) {
    auto row = [this](const char* name) {
        for (int r = 0; r < controls->Inspector->rowCount(); r++)
            if (controls->Inspector->item(r, 0)->text() == QLatin1String(name)) return r;
        return -1;
    };
    const int homePage = row("HomePage"), expiry = row("ExpiryFlags (binary)"), screen = row("ScreenHandler");
    ASSERT_GE(homePage, 0);
    ASSERT_GE(expiry, 0);
    ASSERT_GE(row("LocalOffsetHours[152]"), 0);
    ASSERT_GE(row("UtcTime.Second"), 0);
    controls->Refresh();
    HomePage = 3;
    ExpiryFlags = 2;
    ScreenHandler = MainMenuScreen;
    controls->Refresh();
    EXPECT_EQ(controls->Inspector->item(homePage, 1)->text(), QStringLiteral("3"));
    EXPECT_EQ(controls->Inspector->item(expiry, 1)->text(), QStringLiteral("00000010"));
    EXPECT_EQ(controls->Inspector->item(screen, 1)->text(), QStringLiteral("MainMenuScreen"));
    EXPECT_EQ(controls->HighlightedRows(), 4); // ExpiryFlags in binary and as a number
    controls->Refresh();
    EXPECT_EQ(controls->HighlightedRows(), 0);
    controls->FilterEdit->setText(QStringLiteral("homepage"));
    int shown = 0;
    for (int r = 0; r < controls->Inspector->rowCount(); r++)
        shown += controls->Inspector->isRowHidden(r) ? 0 : 1;
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(controls->Inspector->isRowHidden(homePage));
}

TEST_F(ControlsTest, ScreenshotSavesTheDisplayAt2xTheFaceAndTheWindowAndSaysWhere) {
    QTemporaryDir dir;
    controls->SetScreenshotFolder(dir.path());
    FrameBuffer[0] = 1; // display pixel 0,0 lit
    Host->RenderLcd(Host->Context);
    QTest::mouseClick(controls->ScreenshotButton, Qt::LeftButton);
    const QStringList files = QDir(dir.path()).entryList({QStringLiteral("*.png")}, QDir::Files, QDir::Name);
    ASSERT_EQ(files.size(), 3); // display, face, window in name order
    const QImage display(dir.filePath(files[0]));
    const QImage face(dir.filePath(files[1]));
    const QImage window(dir.filePath(files[2]));
    EXPECT_EQ(display.size(), QSize(228, 128));
    EXPECT_EQ(display.pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_NE(display.pixel(2, 0), qRgb(0, 0, 0));
    EXPECT_EQ(face.size(), QSize(310, 310));
    EXPECT_EQ(window.size(), QSize(621, 404));
    EXPECT_TRUE(controls->MessageLabel->text().contains(dir.filePath(files[0])));
    EXPECT_TRUE(controls->MessageLabel->text().contains(dir.filePath(files[1])));
}

TEST_F(ControlsTest, F12AndCtrlTAskForTheControls) {
    int asked = 0;
    const size_t pending = form->Session().PendingInputs();
    QObject::connect(form, &TForm1::ToolsRequested, [&] { asked++; });
    QTest::keyClick(form, Qt::Key_F12);
    QTest::keyClick(form, Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(form->Session().PendingInputs(), pending); // no key for the instrument
}

TEST_F(ControlsTest, LoadStateOpensTheWindowInThatStatePausedUntilResumed) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.state"));
    QProcess run;
    // A script on standard input writes into the current folder.
    run.setWorkingDirectory(dir.path());
    run.start(QStringLiteral(TMX5_BINARY), {QStringLiteral("run"), QStringLiteral("-")});
    run.write("utc 2031-02-03 04:05:06\non\nwait 3s\nsensor 100\nkey cw\nwait 1s\nsave-state s.state\n");
    run.closeWriteChannel();
    ASSERT_TRUE(run.waitForFinished(30000));
    ASSERT_EQ(run.exitCode(), 0) << run.readAll().toStdString();
    InstrumentSnapshot saved;
    std::string why;
    ASSERT_TRUE(ReadStateFile(path.toStdString(), &saved, &why)) << why;

    form->Session().SetPaused(true);
    form->Session().PutBackState(saved);
    EXPECT_EQ(PowerState, POWER_ON);
    EXPECT_EQ(HomePage, 1);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("100"));
    EXPECT_EQ(std::memcmp(form->Session().ShownFrame(), FrameBuffer, 912), 0);
    EXPECT_EQ(form->Session().Sim().NowMs(), saved.host.virtualMs);
    const uint64_t points = form->Session().EventPoints();
    FakeWall::ns += 5000000000;
    form->Session().IdleFrame();
    EXPECT_EQ(form->Session().EventPoints(), points); // paused: nothing runs

    // Resumed, the main loop goes on from there, on the saved clock.
    form->Session().SetPaused(false);
    const u32 passes = Passes();
    beforePoint = [&] {
        if (Passes() == passes + 3) form->Button2Click();
    };
    for (int i = 0; i < 3 && PowerState != POWER_OFF; i++) IdlePoint();
    beforePoint = nullptr;
    EXPECT_EQ(PowerState, POWER_OFF);
    EXPECT_GE(Passes(), passes + 3);
    EXPECT_EQ(UtcTime.Year, 131u);

    // A file that is no state ends the program with 2 before any window.
    QProcess bad;
    bad.start(QStringLiteral(TMX5_BINARY),
              {QStringLiteral("--load-state"), dir.filePath(QStringLiteral("none"))});
    ASSERT_TRUE(bad.waitForFinished(20000));
    EXPECT_EQ(bad.exitCode(), 2);
    EXPECT_TRUE(bad.readAllStandardError().contains("--load-state"));
}
