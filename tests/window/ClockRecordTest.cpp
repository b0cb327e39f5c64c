// The window's clock and recordings that start from where the instrument
// stands: Record... keeps the date the user set; the UTC field follows the
// clock until edited and Set sends what it shows; the inspector does not
// blink on counters that change at every refresh; a recording started while
// on, or after a loaded state, replays from that state in tmx5 run.
#include "WindowTestSupport.h"

#include "screens/Screens.h"
#include "state/StateFile.h"
#include "window/Recorder.h"
#include "window/SimControls.h"

#include <QDateTimeEdit>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadText(const QString& path) {
    std::ifstream in(path.toStdString());
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int Replays(const QString& path, std::string* output) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TMX5_BINARY), {QStringLiteral("run"), path});
    if (!p.waitForFinished(60000)) return -1;
    *output = p.readAll().toStdString();
    return p.exitCode();
}

const qint64 Solstice = 1782052200; // 2026-06-21 14:30:00 UTC

} // namespace

class ClockRecordTest : public WindowTest {
protected:
    QTemporaryDir dir;
};

TEST_F(ClockRecordTest, RecordKeepsTheDateTheUserSet) {
    SimControls controls(&form->Session(), form, form);
    form->Session().SetUtc(Solstice);
    for (int i = 0; i < 60; i++) IdlePoint();
    ASSERT_GE(form->Session().Sim().UtcSeconds(), Solstice);
    const QString path = dir.filePath(QStringLiteral("r.tmx"));
    ASSERT_TRUE(controls.RecordTo(path));
    for (int i = 0; i < 60; i++) IdlePoint();
    EXPECT_GE(form->Session().Sim().UtcSeconds(), Solstice);
    EXPECT_LT(form->Session().Sim().UtcSeconds(), Solstice + 10);
    form->Session().Recording().Stop();
    for (int i = 0; i < 3 && form->Session().Recording().Active(); i++) IdlePoint();
    EXPECT_NE(ReadText(path).find("utc 2026-06-21 14:30:0"), std::string::npos) << ReadText(path);
}

// At start the clock is set only at the first whole second: the field shows
// the time it is being set to, never 1970, and Set sends that.
TEST(UtcField, FollowsTheClockUntilEditedAndSetSendsWhatItShows) {
    ResetInstrumentState();
    FakeWall::ns = FakeStartSeconds * 1000000000LL - 20000000;
    TForm1 form(nullptr, FakeWall::Now, nullptr);
    form.Session().SetWaitHook([](qint64 wait) { FakeWall::ns += wait; });
    SimControls controls(&form.Session(), &form, &form);
    controls.show();
    controls.UtcEdit->setFocus();
    const qint64 shown = controls.UtcEdit->dateTime().toSecsSinceEpoch();
    EXPECT_GE(shown, FakeStartSeconds - 1);
    EXPECT_LE(shown, FakeStartSeconds + 1);
    controls.SetUtcButton->click();
    auto idle = [&form](int points) {
        for (int i = 0; i < points; i++) {
            const qint64 wait = form.Session().Pace().WaitBeforeFrame(form.Session().Sim().NowMs() +
                                                                      form.Session().Sim().FrameMs());
            if (wait > 0) FakeWall::ns += wait;
            form.Session().IdleFrame();
        }
    };
    idle(100);
    EXPECT_GE(form.Session().Sim().UtcSeconds(), FakeStartSeconds);
    EXPECT_LE(form.Session().Sim().UtcSeconds(), FakeStartSeconds + 3);
    // Three seconds on, the field (focused or not) has followed.
    idle(150);
    controls.Refresh();
    EXPECT_EQ(controls.UtcEdit->dateTime().toSecsSinceEpoch(), form.Session().Sim().UtcSeconds());
    // An edit stays until Set, which sends it; then the field follows again.
    controls.UtcEdit->setDateTime(QDateTime::fromSecsSinceEpoch(Solstice, Qt::UTC));
    idle(60);
    controls.Refresh();
    EXPECT_EQ(controls.UtcEdit->dateTime().toSecsSinceEpoch(), Solstice);
    controls.SetUtcButton->click();
    idle(120);
    controls.Refresh();
    EXPECT_GE(form.Session().Sim().UtcSeconds(), Solstice);
    EXPECT_LE(form.Session().Sim().UtcSeconds(), Solstice + 3);
    EXPECT_EQ(controls.UtcEdit->dateTime().toSecsSinceEpoch(), form.Session().Sim().UtcSeconds());
    ResetInstrumentState();
}

TEST_F(ClockRecordTest, TheInspectorDoesNotBlinkOnCountersThatChangeAtEveryRefresh) {
    SimControls controls(&form->Session(), form, form);
    int tickRow = -1, screenRow = -1;
    for (int r = 0; r < controls.Inspector->rowCount(); r++) {
        if (controls.Inspector->item(r, 0)->text() == QLatin1String("TickDivider")) tickRow = r;
        if (controls.Inspector->item(r, 0)->text() == QLatin1String("ScreenHandler")) screenRow = r;
    }
    ASSERT_GE(tickRow, 0);
    int tickLit = 0, screenLit = 0, refreshes = 0;
    auto lit = [&controls](int row) { return controls.Inspector->item(row, 1)->data(Qt::UserRole).toBool(); };
    RunOn([&] {
        const uint64_t p = form->Session().EventPoints();
        if (p % 5 == 0) { // ten refreshes a virtual second, as at 1x
            controls.Refresh();
            if (++refreshes > 40) tickLit += lit(tickRow);
            screenLit += lit(screenRow);
        }
        if (p == 400) form->Image5Click();
        if (p == 500) form->Button2Click();
    });
    EXPECT_GT(refreshes, 80);
    EXPECT_EQ(tickLit, 0);
    EXPECT_GE(screenLit, 1); // a change a user made is still highlighted
}

TEST_F(ClockRecordTest, ARecordingStartedWhileOnReplaysFromThatState) {
    SimControls controls(&form->Session(), form, form);
    const QString path = dir.filePath(QStringLiteral("here.tmx"));
    RunOn([&] {
        switch (form->Session().EventPoints()) {
            case 150:
                form->Image5Click();
                break;
            case 200:
                ASSERT_TRUE(controls.RecordTo(path));
                break;
            case 260:
                form->Button3Click();
                break;
            case 300:
                form->TrackBar6->setValue(1234);
                break;
            case 400:
                form->Session().Recording().Stop();
                break;
            case 420:
                form->Button2Click();
                break;
        }
    });
    ASSERT_FALSE(form->Session().Recording().Active());
    const std::string script = ReadText(path);
    EXPECT_NE(script.find("\nload-state here.start.state\n"), std::string::npos) << script;
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("here.start.state"))));
    EXPECT_NE(script.find("expect ScreenHandler MainMenuScreen"), std::string::npos) << script;
    std::string output;
    EXPECT_EQ(Replays(path, &output), 0) << output << script;
}

// tmx5 --load-state S --record R: the recording starts from the loaded state.
TEST_F(ClockRecordTest, ARecordingAfterALoadedStateReplaysFromIt) {
    const QString statePath = dir.filePath(QStringLiteral("s.state"));
    RunOn([&] {
        const uint64_t p = form->Session().EventPoints();
        if (p == 150) form->Image5Click();
        if (p == 200) {
            HostSnapshot host;
            host.virtualMs = form->Session().Sim().NowMs();
            host.hostUtcMs = form->Session().Sim().UtcMs();
            host.lamp = form->Session().Panel().Lamp();
            std::string why;
            ASSERT_TRUE(WriteStateFile(statePath.toStdString(), CaptureInstrument(host), &why)) << why;
            form->Button2Click();
        }
    });
    InstrumentSnapshot saved;
    std::string why;
    ASSERT_TRUE(ReadStateFile(statePath.toStdString(), &saved, &why)) << why;
    delete form;
    ResetInstrumentState();
    form = new TForm1(nullptr, FakeWall::Now, nullptr);
    form->Session().SetWaitHook([this](qint64 wait) {
        FakeWall::ns += wait;
        if (beforePoint) beforePoint();
    });
    const QString path = dir.filePath(QStringLiteral("loaded.tmx"));
    std::unique_ptr<Recorder> recorder = Recorder::OpenFile(path.toStdString(), &why);
    ASSERT_TRUE(recorder);
    form->Session().PutBackState(saved);
    ASSERT_TRUE(form->Session().Recording().Start(recorder.get()));
    beforePoint = [this] {
        const uint64_t p = form->Session().EventPoints();
        if (p == 30) form->Button3Click();
        if (p == 80) form->Session().Recording().Stop();
        if (p == 90) form->Button2Click();
    };
    for (int i = 0; i < 5 && PowerState != POWER_OFF; i++) IdlePoint();
    beforePoint = nullptr;
    ASSERT_FALSE(form->Session().Recording().Active());
    const std::string script = ReadText(path);
    EXPECT_NE(script.find("load-state loaded.start.state"), std::string::npos) << script;
    EXPECT_NE(script.find("key cw"), std::string::npos) << script;
    std::string output;
    EXPECT_EQ(Replays(path, &output), 0) << output << script;
}
