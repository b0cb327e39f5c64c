// Recording a session: the lines and passes the recorder writes, read back by
// the runner's parser; a session in the window, with speed changes, a pause,
// steps and inputs in the splash, replayed exactly by tmx5 run; the file
// left alone without a display; write failures.
#include "WindowTestSupport.h"

#include "headless/ScriptRunner.h"
#include "screens/Screens.h"
#include "window/Recorder.h"
#include "window/SimControls.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Replay {
    int code;
    QString output;
};

Replay RunScript(const QString& path) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral(TMX5_BINARY), {QStringLiteral("run"), path});
    if (!p.waitForFinished(60000)) return {-1, QStringLiteral("did not finish")};
    return {p.exitCode(), QString::fromLocal8Bit(p.readAll())};
}

} // namespace

TEST(RecorderFormat, EachLineComesWherTheReplayReadsIt) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("s.tmx")).toStdString();
    std::string why;
    std::unique_ptr<Recorder> r = Recorder::OpenFile(path, &why);
    ASSERT_TRUE(r) << why;
    u8 frame[912] = {};
    ASSERT_TRUE(r->Begin());
    ASSERT_TRUE(r->Line(1, {"utc 2030-06-01 12:00:00", "key cw"}, true)); // read at the first event point
    ASSERT_TRUE(r->Line(3, {"on"}, true));                                // two after an input
    ASSERT_TRUE(r->Line(10, {"utc 2030-06-01 13:00:00"}, false));         // 5 passes first
    ASSERT_TRUE(r->Line(11, {"key menu"}, true));                         // the clock is no input
    ASSERT_TRUE(r->End(20, {{"HomePage", "0"}}, frame));
    std::istringstream text(ReadAll(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        if (line[0] != '#') lines.push_back(line);
    const std::vector<std::string> want = {"utc 2030-06-01 12:00:00; key cw",
                                           "on",
                                           "passes 5",
                                           "utc 2030-06-01 13:00:00",
                                           "passes 1",
                                           "key menu",
                                           "passes 7",
                                           "expect HomePage 0",
                                           "expect-frame s.last.pbm"};
    EXPECT_EQ(lines, want);
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("s.last.pbm"))));
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    EXPECT_TRUE(runner.Load(ReadAll(path), path, dir.path().toStdString())) << err.str();
}

// At the fastest speed seven seconds with the instrument off made 152
// million event points, and `passes` takes at most 100 million: the
// recording could not be replayed.
TEST(RecorderFormat, ALongWaitAtTheFastestSpeedIsSplitSoItReplays) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("fast.tmx")).toStdString();
    std::string why;
    std::unique_ptr<Recorder> r = Recorder::OpenFile(path, &why);
    ASSERT_TRUE(r) << why;
    u8 frame[912] = {};
    ASSERT_TRUE(r->Begin());
    ASSERT_TRUE(r->Line(1, {"key cw"}, true));
    ASSERT_TRUE(r->Line(3 + 250000000, {"key ccw"}, true));
    ASSERT_TRUE(r->End(5 + 250000000, {{"HomePage", "0"}}, frame));
    std::istringstream text(ReadAll(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);)
        if (line[0] != '#') lines.push_back(line);
    const std::vector<std::string> want = {
        "key cw",  "passes 100000000",  "passes 100000000",          "passes 50000000",
        "key ccw", "expect HomePage 0", "expect-frame fast.last.pbm"};
    EXPECT_EQ(lines, want);
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    EXPECT_TRUE(runner.Load(ReadAll(path), path, dir.path().toStdString())) << err.str();
}

class RecordingTest : public WindowTest {};

TEST_F(RecordingTest, ASessionWithSpeedsAPauseAndStepsReplaysExactly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.tmx"));
    SimControls controls(&form->Session(), form, form);
    for (int i = 0; i < 7; i++) IdlePoint();            // recording starts afresh, whenever it starts
    QTest::mouseClick(form->CheckBox2, Qt::LeftButton); // checked before: the replay checks it too
    ASSERT_TRUE(controls.RecordTo(path));
    EXPECT_TRUE(form->CheckBox2->isChecked()); // the box stays as the user left it
    form->Image6Click();                       // a key while off, cleared by power-on
    RunOn([&] {
        switch (form->Session().EventPoints()) {
            case 10: // in the splash: kept for the first pass, lost, ignored
                form->Button3Click();
                form->Button2Click();
                form->Button1Click();
                break;
            case 100:
                form->TrackBar6->setValue(100);
                form->TrackBar6->setValue(300);
                QTest::mouseClick(form->CheckBox3, Qt::LeftButton);
                break;
            case 101:
                form->Button3Click();
                break; // waits for the event point after next
            case 150:
                QTest::mouseClick(controls.SpeedButtons[1], Qt::LeftButton);
                break;
            case 160:
                form->Image3Click(); // two keys at one event point: the second is dropped
                form->Button4Click();
                break;
            case 170:
                QTest::mouseClick(controls.SpeedButtons[3], Qt::LeftButton);
                break;
            case 700:
                form->Image5Click();
                QTest::mouseClick(controls.SpeedButtons[0], Qt::LeftButton);
                break;
            case 760:
                form->Button2Click();
                break;
        }
    });
    ASSERT_EQ(PowerState, POWER_OFF);
    // Paused, a key waits; three steps, a new UTC, and the recording ends.
    QTest::mouseClick(controls.PauseButton, Qt::LeftButton);
    form->Button3Click();
    FakeWall::ns += 5000000000;
    form->Session().IdleFrame();
    form->Session().Step(3);
    form->Session().IdleFrame();
    QTest::mouseClick(controls.PauseButton, Qt::LeftButton);
    form->Session().SetUtc(FakeStartSeconds + 86399);
    for (int i = 0; i < 12; i++) IdlePoint();
    QTest::mouseClick(controls.RecordButton, Qt::LeftButton); // Stop
    for (int i = 0; i < 3 && form->Session().Recording().Active(); i++) IdlePoint();
    ASSERT_FALSE(form->Session().Recording().Active());
    EXPECT_TRUE(controls.MessageLabel->text().contains(path)) << controls.MessageLabel->text().toStdString();

    const std::string script = ReadAll(path.toStdString());
    EXPECT_NE(script.find("expect SensorSample 300"), std::string::npos) << script;
    EXPECT_NE(script.find("expect KeyStep 10"), std::string::npos) << script;
    EXPECT_NE(script.find("calibrate on"), std::string::npos) << script;
    EXPECT_NE(script.find("expect-frame session.last.pbm"), std::string::npos) << script;
    const Replay replay = RunScript(path);
    EXPECT_EQ(replay.code, 0) << replay.output.toStdString() << script;

    // The replay notices a missing input.
    std::string cut = script;
    const size_t key = cut.find("\nkey ccw");
    const size_t at = cut.find("\nkey cw", key == std::string::npos ? 0 : key);
    ASSERT_NE(at, std::string::npos);
    cut.erase(at, 7);
    std::ofstream(path.toStdString()) << cut;
    EXPECT_EQ(RunScript(path).code, 1);
}

TEST(RecorderFile, RecordLeavesTheFileAloneWithoutADisplay) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("s.tmx"));
    std::ofstream(path.toStdString()) << "kept\n";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* n : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(n));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TMX5_BINARY), {QStringLiteral("--record"), path});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_EQ(ReadAll(path.toStdString()), "kept\n");
}

// A recording that cannot be written (here: a file size limit of 0, as on a
// full disk) says so and ends the program with 1, and an older recording of
// that name is kept whole: it used to be emptied first.
TEST(RecorderFile, RecordWriteFailureSaysCannotWriteKeepsTheOldFileAndExitsNonZero) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.tmx"));
    std::ofstream(path.toStdString()) << "# an older recording\non\n";
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("ulimit -f 0 && exec \"$0\" --record \"$1\""),
             QStringLiteral(TMX5_BINARY), path});
    ASSERT_TRUE(p.waitForFinished(20000));
    EXPECT_EQ(p.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(p.readAllStandardError());
    EXPECT_TRUE(said.contains(QLatin1String("cannot write ") + path + QLatin1String(": File too large")))
        << said.toStdString();
    EXPECT_EQ(ReadAll(path.toStdString()), "# an older recording\non\n");
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.tmx")})
        << "a temporary file was left behind";

    // A device is no file to record into: refused before the window opens.
    QProcess full;
    full.setProcessEnvironment(env);
    full.start(QStringLiteral(TMX5_BINARY), {QStringLiteral("--record"), QStringLiteral("/dev/full")});
    ASSERT_TRUE(full.waitForFinished(20000));
    EXPECT_EQ(full.exitCode(), 2);
    EXPECT_TRUE(
        QString::fromLocal8Bit(full.readAllStandardError())
            .contains(QLatin1String("cannot record to /dev/full: not a regular file (a character device)")));
}
