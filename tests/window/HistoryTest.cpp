// Going back in the window: the keys and buttons travel, pause, and show
// what the instrument showed at that pass (checked by saving the session
// there and replaying it in tmx5 run, whose expect lines and expect-frame
// must hold); going on from the past replays the session's inputs; a new
// input cuts the old future; points in the splash are shown exactly too.
#include "WindowTestSupport.h"

#include "screens/Screens.h"
#include "state/StateFile.h"
#include "window/Controls.h"
#include "window/DisplayPicture.h"
#include "window/SimControls.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>

#include <cstring>
#include <string>

namespace {

struct Replayed {
    int code;
    QString output;
};

Replayed RunScript(const QString& path) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TMX5_BINARY), {QStringLiteral("run"), path});
    if (!p.waitForFinished(60000)) return {-1, QStringLiteral("did not finish")};
    return {p.exitCode(), QString::fromLocal8Bit(p.readAll())};
}

std::string Frame(const u8* frame) { return std::string((const char*)frame, 912); }

} // namespace

class HistoryTest : public WindowTest {
protected:
    // Saves the session at the point shown and replays it: the expect lines
    // and the expect-frame hold only if the window shows exactly what a
    // straight run shows there.
    void ExpectReplays(const QString& name) {
        const QString path = dir.filePath(name);
        QSignalSpy saved(&form->Session(), &WindowSession::SessionSaved);
        form->Session().SaveSession(path);
        ASSERT_EQ(saved.count(), 1);
        ASSERT_TRUE(saved.at(0).at(0).toBool()) << saved.at(0).at(1).toString().toStdString();
        const Replayed r = RunScript(path);
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        EXPECT_EQ(r.code, 0) << r.output.toStdString() << "\n" << f.readAll().toStdString();
    }
    // While the firmware runs paused, the window waits for events: this
    // one travels to where it stands once it has got to point.
    void TravelWhenAt(uint64_t point) {
        QTimer::singleShot(1, form, [this, point] {
            if (form->Session().EventPoints() >= point)
                form->Session().TravelTo(form->Session().EventPoints());
            else
                TravelWhenAt(point);
        });
    }
    QTemporaryDir dir;
};

TEST_F(HistoryTest, CtrlLeftGoesBackASecondPausedShowingWhatTheInstrumentShowed) {
    SimControls controls(&form->Session(), form, form);
    uint64_t keyAt = 0;
    std::string frameThen, frameSecondBack;
    RunOn([&] {
        const uint64_t p = form->Session().EventPoints();
        if (p == 200) form->Image5Click(); // the main menu
        if (p == 260) form->Button3Click();
        if (p == 300) form->TrackBar6->setValue(3000);
        if (p == 330) form->CheckBox3->setChecked(true);
        if (p == 400) form->Image3Click();
        // The frame at event point 560 is the one the pass before it drew.
        if (p == 559) frameThen = Frame(form->Session().LastFrame());
        if (p == 550) frameSecondBack = Frame(form->Session().LastFrame());
        if (p == 600) {
            keyAt = p;
            QTest::keyClick(form, Qt::Key_Left, Qt::ControlModifier);
        }
    });
    ASSERT_EQ(keyAt, 600u);
    EXPECT_TRUE(form->Session().Paused());
    // The frame on screen was the one of event point 601 (drawn by the pass
    // after 600): a second back from it.
    EXPECT_EQ(form->Session().EventPoints(), 551u);
    EXPECT_EQ(Frame(form->Session().ShownFrame()),
              frameSecondBack); // what the screen showed 50 passes before
    EXPECT_EQ(form->Session().History().End(), 600u);
    // The display shows the frame of that pass, painted.
    EXPECT_EQ(Frame(form->Session().ShownFrame()), Frame(form->Session().LastFrame()));
    EXPECT_EQ(form->TrackBar6->value(), 3000);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("3000"));
    EXPECT_TRUE(form->CheckBox3->isChecked());
    ExpectReplays(QStringLiteral("back.tmx"));

    // Before the track bar moved and KeyFast was checked: the controls too.
    controls.BackPassButton->click();
    EXPECT_EQ(form->Session().EventPoints(), 550u);
    form->Session().TravelTo(299);
    EXPECT_EQ(form->TrackBar6->value(), 2048);
    EXPECT_EQ(form->Label15->text(), QStringLiteral("2048"));
    EXPECT_FALSE(form->CheckBox3->isChecked());
    ExpectReplays(QStringLiteral("before.tmx"));

    // The timeline spans the session, and moving it travels.
    controls.Refresh();
    EXPECT_EQ(controls.Timeline->minimum(), 0);
    EXPECT_EQ(controls.Timeline->maximum(), 600);
    controls.Timeline->setValue(560);
    EXPECT_EQ(form->Session().EventPoints(), 560u);
    EXPECT_EQ(Frame(form->Session().ShownFrame()), frameThen);
    EXPECT_TRUE(controls.StatusLabel->text().contains(QStringLiteral("560 passes")))
        << controls.StatusLabel->text().toStdString();

    // Forward re-runs the recorded inputs: the same state as before.
    form->Session().TravelTo(290);
    controls.ForwardSecondButton->click();
    EXPECT_EQ(form->Session().EventPoints(), 340u);
    EXPECT_EQ(form->TrackBar6->value(), 3000);
    EXPECT_TRUE(form->CheckBox3->isChecked());
    ExpectReplays(QStringLiteral("forward.tmx"));
    EXPECT_EQ(form->Session().History().End(), 600u); // nothing was cut
}

TEST_F(HistoryTest, ResumingFromThePastReplaysTheSessionUntilANewInputCutsIt) {
    RunOn([&] {
        const uint64_t p = form->Session().EventPoints();
        if (p == 200) form->Image5Click();
        if (p == 280) form->Button3Click(); // the menu's cursor moves
        if (p == 300) form->TrackBar6->setValue(1000);
        if (p == 500) form->Session().BackSecond();
    });
    ASSERT_EQ(form->Session().EventPoints(), 451u);
    form->Session().TravelTo(250);
    ASSERT_EQ(form->TrackBar6->value(), 2048);
    // Resume: the instrument runs on from 250 and takes the recorded
    // inputs where they came; stop it again past the track bar's move.
    std::vector<std::string> live(400);
    beforePoint = [this, &live] {
        live[form->Session().EventPoints()] = Frame(form->Session().LastFrame());
        if (form->Session().EventPoints() == 320) form->Session().TravelTo(320);
    };
    form->Session().SetPaused(false);
    for (int i = 0; i < 100 && form->Session().EventPoints() != 320; i++) IdlePoint();
    beforePoint = nullptr;
    ASSERT_EQ(form->Session().EventPoints(), 320u);
    // Pass for pass the frames the first time through.
    for (uint64_t k = 251; k < 320; k++) {
        SessionState s;
        ASSERT_TRUE(form->Session().History().StateAt(k + 1, &s));
        EXPECT_EQ(live[k], Frame(s.frame)) << "after event point " << k;
    }
    form->Session().TravelTo(320);
    EXPECT_EQ(form->TrackBar6->value(), 1000);
    EXPECT_EQ(form->Session().History().End(), 500u);
    ExpectReplays(QStringLiteral("resumed.tmx"));

    // A new input in the past: the old future is gone.
    form->Session().TravelTo(260);
    form->Button4Click();
    EXPECT_EQ(form->Session().History().End(), 260u);
    form->Session().Step(5);
    TravelWhenAt(265);
    IdlePoint();
    EXPECT_EQ(form->Session().EventPoints(), 265u);
    EXPECT_GT(form->Session().History().End(), 260u);
    EXPECT_LT(form->Session().History().End(), 300u);
    // The track bar's move at 300 was in the old future: gone for good.
    form->Session().ForwardSecond();
    form->Session().ForwardSecond();
    TravelWhenAt(365);
    IdlePoint();
    EXPECT_EQ(form->Session().EventPoints(), 365u);
    EXPECT_EQ(form->TrackBar6->value(), 2048);
    ExpectReplays(QStringLiteral("cut.tmx"));
}

TEST_F(HistoryTest, APointInTheSplashIsShownExactlyAndSteppingGoesOnFromIt) {
    uint64_t onAt = 0;
    RunOn([&] {
        const uint64_t p = form->Session().EventPoints();
        if (onAt == 0 && PowerState == POWER_SPLASH) onAt = p;
        if (p == 200) form->Session().TravelTo(onAt + 30);
    });
    ASSERT_GT(onAt, 0u);
    EXPECT_EQ(form->Session().EventPoints(), onAt + 30);
    EXPECT_EQ(PowerState, POWER_SPLASH);
    EXPECT_EQ(Frame(form->Session().ShownFrame()), Frame(form->Session().LastFrame()));
    ExpectReplays(QStringLiteral("splash.tmx"));
    // One pass on: re-run from the power-on to the point shown, then one more.
    const std::string shown = Frame(form->Session().ShownFrame());
    form->Session().StepPass();
    TravelWhenAt(onAt + 31);
    IdlePoint();
    EXPECT_EQ(form->Session().EventPoints(), onAt + 31);
    EXPECT_NE(Frame(form->Session().ShownFrame()), shown); // the names slid on
    ExpectReplays(QStringLiteral("splash-step.tmx"));
}

// The tools within reach of the instrument window: the context menu, the
// keys in the controls window, states saved and loaded, tooltips.
TEST_F(HistoryTest, TheContextMenuOffersTheToolsAndGoesBack) {
    RunOn([&] {
        if (form->Session().EventPoints() == 300) form->Button2Click();
    });
    ASSERT_EQ(form->Session().EventPoints(), 301u);
    QStringList offered;
    QTimer::singleShot(50, form, [&] {
        QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_TRUE(menu);
        for (QAction* a : menu->actions())
            if (!a->isSeparator()) offered << a->text().section(QLatin1Char('\t'), 0, 0);
        for (QAction* a : menu->actions())
            if (a->text().startsWith(QStringLiteral("Back one second"))) a->trigger();
        menu->close();
    });
    QContextMenuEvent e(QContextMenuEvent::Mouse, QPoint(100, 100), form->mapToGlobal(QPoint(100, 100)));
    QApplication::sendEvent(form, &e);
    const QStringList want = {QStringLiteral("Simulator controls"),
                              QStringLiteral("Pause"),
                              QStringLiteral("Back one second"),
                              QStringLiteral("Save session as scenario..."),
                              QStringLiteral("Save state..."),
                              QStringLiteral("Load state..."),
                              QStringLiteral("Screenshot"),
                              QStringLiteral("Record..."),
                              QStringLiteral("About")};
    EXPECT_EQ(offered, want);
    EXPECT_EQ(form->Session().EventPoints(), 251u);
    EXPECT_TRUE(form->Session().Paused());
    for (QWidget* w : std::initializer_list<QWidget*>{
             form->Image1, form->Image2, form->Image3, form->Image5, form->Image6, form->Button1,
             form->Button2, form->Button3, form->Button4, form->TrackBar6, form->CheckBox2, form->CheckBox3})
        EXPECT_FALSE(w->toolTip().isEmpty()) << w->objectName().toStdString();
    EXPECT_TRUE(form->CheckBox3->toolTip().contains(QStringLiteral("10")));
}

TEST_F(HistoryTest, TheTravelKeysWorkInTheControlsWindowToo) {
    SimControls controls(&form->Session(), form, nullptr);
    controls.show();
    controls.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&controls));
    RunOn([&] {
        if (form->Session().EventPoints() == 300) form->Button2Click();
    });
    QTest::keyClick(&controls, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(form->Session().EventPoints(), 251u);
    QTest::keyClick(&controls, Qt::Key_Left, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Session().EventPoints(), 250u);
    QTest::keyClick(&controls, Qt::Key_Right, Qt::ControlModifier);
    EXPECT_EQ(form->Session().EventPoints(), 300u);
    QTest::keyClick(&controls, Qt::Key_Right, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form->Session().EventPoints(), 301u);
    EXPECT_EQ(controls.minimumWidth(), controls.maximumWidth()); // a fixed width
    // In the instrument window, also while the track bar has the focus.
    form->TrackBar6->setFocus();
    QTest::keyClick(form->TrackBar6, Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(form->Session().EventPoints(), 251u);
    EXPECT_EQ(form->TrackBar6->value(), 2048);
}

TEST_F(HistoryTest, StatesSavedAndLoadedInTheWindowAndABadOneRefused) {
    RunOn([&] {
        const uint64_t p = form->Session().EventPoints();
        if (p == 200) form->Image5Click();
        if (p == 250) form->TrackBar6->setValue(777);
        if (p == 300) form->Session().TravelTo(280);
    });
    const QString good = dir.filePath(QStringLiteral("a.state"));
    QString why;
    ASSERT_TRUE(form->Session().SaveStateTo(good, &why)) << why.toStdString();
    auto text = [this] {
        HostSnapshot host;
        host.virtualMs = form->Session().Sim().NowMs();
        host.hostUtcMs = form->Session().Sim().UtcMs();
        host.trackBar = form->TrackBar6->value();
        host.lamp = form->Session().Panel().Lamp();
        return FormatStateFile(CaptureInstrument(host));
    };
    const std::string at280 = text();
    form->Session().TravelTo(100);
    const std::string at100 = text();
    // A bad file: refused with its line, nothing changed.
    QFile in(good);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    std::string bad = in.readAll().toStdString();
    const size_t at = bad.find("MainZone ");
    ASSERT_NE(at, std::string::npos);
    bad.replace(at, 9, "MainZone 999");
    const QString badPath = dir.filePath(QStringLiteral("bad.state"));
    QFile out(badPath);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(bad.data(), qint64(bad.size()));
    out.close();
    EXPECT_FALSE(form->Session().LoadStateFrom(badPath, &why));
    EXPECT_TRUE(why.contains(QStringLiteral(":"))) << why.toStdString();
    EXPECT_EQ(text(), at100);
    EXPECT_EQ(form->Session().EventPoints(), 100u);
    // The good one comes back as it was saved, with the track bar.
    ASSERT_TRUE(form->Session().LoadStateFrom(good, &why)) << why.toStdString();
    EXPECT_EQ(form->TrackBar6->value(), 777);
    EXPECT_EQ(ScreenHandler, MainMenuScreen);
    InstrumentSnapshot reread;
    std::string error;
    ASSERT_TRUE(ReadStateFile(good.toStdString(), &reread, &error));
    EXPECT_EQ(FormatStateFile(CaptureInstrument(reread.host)), FormatStateFile(reread));
    (void)at280;
    // The face alone, 310 x 310.
    const QString face =
        SaveScreenshots(form, form->Session().LastFrame(), form->UnlitColour(), dir.path()).face;
    ASSERT_FALSE(face.isEmpty());
    EXPECT_EQ(QImage(face).size(), QSize(310, 310));
}
