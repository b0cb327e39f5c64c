// Recording a session: the recorder's lines and wait rounding, read back by
// the script runner's own parser; its replay clock against the runner's
// virtual clock; the window passing every input path to it once; the state
// lines at the close; the file written as it goes; a file that cannot be made.
#include "WindowTestSupport.h"

#include "headless/ScriptRunner.h"
#include "screens/Screens.h"
#include "window/Recorder.h"

#include <QCheckBox>
#include <QPushButton>
#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSlider>
#include <QTemporaryDir>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> LinesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The commands of a script as the runner reads them, or an empty list (and
// the runner's complaint) when it does not load.
struct Loaded {
    bool ok;
    std::vector<ScriptLine> lines;
    std::string complaint;
};

Loaded Load(const std::string& script) {
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    const bool ok = runner.Load(script, "recorded.tmx", ".");
    return {ok, runner.Lines(), err.str()};
}

} // namespace

// --- Formatting ---------------------------------------------------------------

TEST(RecorderFormat, WaitIsTheGapRoundedToTheNearestFramePeriodAndNeverNegative) {
    const struct {
        const char* name;
        int64_t from, to, wait;
    } rows[] = {
        {"same time", 20, 20, 0},
        {"earlier", 100, 60, 0},
        {"9 ms later rounds down to nothing", 20, 29, 0},
        {"10 ms later (a half) rounds up", 20, 30, 20},
        {"one period", 20, 40, 20},
        {"29 ms", 20, 49, 20},
        {"30 ms", 20, 50, 40},
        {"one second", 20, 1020, 1000},
        {"an hour and a bit", 40, 3600000 + 49, 3600000},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Recorder::WaitMs(row.from, row.to), row.wait);
    }
}

TEST(RecorderFormat, DurationTextReadsBackAsTheSameMilliseconds) {
    const struct {
        int64_t ms;
        const char* text;
    } rows[] = {
        {20, "20ms"},      {980, "980ms"},   {1000, "1s"},       {1020, "1.02s"},
        {1500, "1.5s"},    {1580, "1.58s"},  {59980, "59.98s"},  {60000, "60s"},
        {3600000, "3600s"}, {3599980, "3599.98s"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(Recorder::DurationText(row.ms), row.text);
        Loaded l = Load(std::string("wait ") + row.text + "\n");
        ASSERT_TRUE(l.ok) << l.complaint;
        EXPECT_EQ(l.lines[0].commands[0].number, row.ms);
    }
}

TEST(RecorderFormat, UtcTextCoversTheYearsAScriptCanSet) {
    const struct {
        int64_t seconds;
        const char* text;
    } rows[] = {
        {-1, ""},
        {0, "1970-01-01 00:00:00"},
        {1709210096, "2024-02-29 12:34:56"},
        {HEADLESS_EPOCH, "2026-01-01 00:00:00"},
        {4102444799, "2099-12-31 23:59:59"},
        {4102444800, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.seconds);
        const std::string text = Recorder::UtcText(row.seconds);
        EXPECT_EQ(text, row.text);
        if (text.empty()) continue;
        Loaded l = Load("utc " + text + "\n");
        ASSERT_TRUE(l.ok) << l.complaint;
        EXPECT_EQ(l.lines[0].commands[0].number, row.seconds);
    }
}

TEST(RecorderFormat, ASessionBecomesWaitsCommandsCommentsAndExpectLines) {
    std::ostringstream out;
    Recorder r(out);
    r.Begin(HEADLESS_EPOCH);
    r.Event(1000, "on");        // the replay reads lines from 20 ms on
    r.Event(1010, "key cw");    // sooner than the replay can take it: no wait
    r.Event(3000, "key menu");  // the replay stands at 1080
    r.Ignored(3005, "key cw", "a key was pending");
    r.Event(3050, "key cw");    // 10 ms after the replay's 3040: rounds up
    r.End(5000, {{"Power", "on"}, {"MenuCursor", "0"}});
    r.Event(6000, "key cw");    // after the end: nothing
    const std::vector<std::string> want = {
        "# Recorded in the TMX-5 simulator window by tmx5 --record; replay it with tmx5 run.",
        "utc 2026-01-01 00:00:00",
        "wait 980ms",
        "on",
        "key cw",
        "wait 1.92s",
        "key menu",
        "# key cw at 3.005s not replayed: a key was pending",
        "wait 20ms",
        "key cw",
        "wait 1.9s",
        "# The window closed here, showing:",
        "expect Power on",
        "expect MenuCursor 0",
    };
    EXPECT_EQ(LinesOf(out.str()), want);
    EXPECT_TRUE(r.Ended());
    EXPECT_EQ(r.ReplayMs(), 5000);
}

// --- The replay's clock ---------------------------------------------------------

// The recorder's idea of where the replay stands must be where the runner
// really is: its virtual time shares the window's zero, so each input lands
// on the event point nearest its own time (or the next free one).
TEST(RecorderReplay, TheRunnersClockEndsWhereTheRecorderPutsIt) {
    const struct {
        const char* name;
        std::vector<int64_t> events; // key presses, the instrument off
        int64_t end;
    } rows[] = {
        {"no input, closed at once", {}, 0},
        {"no input", {}, 2990},
        {"one key on the frame grid", {1000}, 3000},
        {"one key between two points", {1009}, 3011},
        {"one key before the first point", {5}, 100},
        {"two keys one pass apart", {1000, 1020}, 2000},
        {"two keys two passes apart", {1000, 1040}, 1090},
        {"a burst of five", {500, 501, 502, 503, 504}, 510},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::ostringstream script;
        Recorder r(script);
        r.Begin(HEADLESS_EPOCH);
        for (int64_t ms : row.events) r.Event(ms, "key cw");
        r.End(row.end, {{"Power", "off"}});

        std::ostringstream out, err;
        ScriptRunner runner(out, err);
        ASSERT_TRUE(runner.Load(script.str(), "recorded.tmx", ".")) << err.str();
        EXPECT_EQ(runner.Run(), 0) << err.str() << script.str();
        ASSERT_NE(runner.Host(), nullptr);
        EXPECT_EQ((int64_t)runner.Host()->NowMs(), r.ReplayMs()) << script.str();
        // Unless the inputs came faster than the replay takes them, it ends
        // within half a frame period of the window's close.
        if (row.events.size() <= 1) {
            EXPECT_LE(std::abs(r.ReplayMs() - std::max<int64_t>(row.end, 20)), 10);
        }
    }
}

// --- The window ------------------------------------------------------------------

class RecordingTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        recorder.reset(new Recorder(script));
        form->StartRecording(recorder.get());
    }
    void TearDown() override {
        form->StartRecording(nullptr);
        WindowTest::TearDown();
    }
    // The script's commands and comments, without its header, utc and waits.
    std::vector<std::string> Inputs() const {
        std::vector<std::string> inputs;
        for (const std::string& line : LinesOf(script.str()))
            if (line.rfind("wait ", 0) != 0 && line.rfind("utc ", 0) != 0 && line.rfind("# Recorded", 0) != 0)
                inputs.push_back(line);
        return inputs;
    }
    void Wheel(int eighths) {
        const QPoint at(150, 150); // over the display
        QWheelEvent e(QPointF(at), QPointF(form->mapToGlobal(at)), QPoint(), QPoint(0, eighths), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(form, &e);
    }
    std::ostringstream script;
    std::unique_ptr<Recorder> recorder;
};

TEST_F(RecordingTest, StartWritesTheHeaderAndTheHostClock) {
    const std::vector<std::string> lines = LinesOf(script.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("# ", 0), 0u);
    Loaded l = Load(script.str());
    ASSERT_TRUE(l.ok) << l.complaint;
    ASSERT_EQ(l.lines.size(), 1u);
    ASSERT_EQ(l.lines[0].commands[0].kind, ScriptCommand::UTC);
    const long long now = (long long)std::time(nullptr);
    EXPECT_LE(l.lines[0].commands[0].number, now);
    EXPECT_GE(l.lines[0].commands[0].number, now - 60);
}

TEST_F(RecordingTest, EveryInputPathIsRecordedOnceAsItsCommand) {
    enum How { CLICK, KEY, WHEEL, SLIDE };
    const struct {
        const char* name;
        How how;
        const char* control; // clicked, or given the key; null: the window
        int arg;             // Qt key, eighths of a degree, track bar position
        const char* line;
    } rows[] = {
        {"MENU area click", CLICK, "Image5", 0, "key menu"},
        {"F1 area click", CLICK, "Image3", 0, "key left"},
        {"F2 area click", CLICK, "Image6", 0, "key right"},
        {"Clockwise click", CLICK, "Button3", 0, "key cw"},
        {"AntiClockwise click", CLICK, "Button4", 0, "key ccw"},
        {"Right arrow", KEY, nullptr, Qt::Key_Right, "key cw"},
        {"Down arrow", KEY, nullptr, Qt::Key_Down, "key ccw"},
        {"Space", KEY, nullptr, Qt::Key_Space, "key menu"},
        {"key F1", KEY, nullptr, Qt::Key_F1, "key left"},
        {"key F2", KEY, nullptr, Qt::Key_F2, "key right"},
        {"wheel up a notch", WHEEL, nullptr, 120, "key cw"},
        {"wheel down a notch", WHEEL, nullptr, -120, "key ccw"},
        {"Calibrate checked", CLICK, "CheckBox2", 0, "calibrate on"},
        {"Calibrate cleared", CLICK, "CheckBox2", 0, "calibrate off"},
        {"KeyFast checked", CLICK, "CheckBox3", 0, "keyfast on"},
        {"track bar to 0", SLIDE, nullptr, 0, "sensor 0"},
        {"track bar by key", KEY, "TrackBar6", Qt::Key_Right, "sensor 1"},
        {"track bar to 4096", SLIDE, nullptr, 4096, "sensor 4096"},
        {"OFF", CLICK, "Button2", 0, "off"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        KeyCode = KEY_NONE; // the previous row's key was taken
        const size_t before = Inputs().size();
        QWidget* target = row.control ? form->findChild<QWidget*>(QString::fromLatin1(row.control)) : form;
        ASSERT_NE(target, nullptr);
        switch (row.how) {
        case CLICK: QTest::mouseClick(target, Qt::LeftButton); break;
        case KEY: QTest::keyClick(target, Qt::Key(row.arg)); break;
        case WHEEL: Wheel(row.arg); break;
        case SLIDE: form->TrackBar6->setValue(row.arg); break;
        }
        const std::vector<std::string> inputs = Inputs();
        ASSERT_EQ(inputs.size(), before + 1);
        EXPECT_EQ(inputs.back(), row.line);
    }
    // Half a notch is no key, and a track bar that does not move is no change.
    const size_t before = Inputs().size();
    Wheel(60);
    form->TrackBar6->setValue(4096);
    EXPECT_EQ(Inputs().size(), before);
    Loaded l = Load(script.str());
    EXPECT_TRUE(l.ok) << l.complaint;
}

TEST_F(RecordingTest, InputsTheInstrumentDoesNotTakeBecomeComments) {
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    QTest::keyClick(form, Qt::Key_Left); // the clockwise step is still pending: dropped
    PowerState = POWER_SPLASH;
    form->Button1Click();                // ON during the splash is ignored
    QTest::mouseClick(form->Button2, Qt::LeftButton); // OFF during the splash is lost
    PowerState = POWER_OFF;
    const std::vector<std::string> inputs = Inputs();
    ASSERT_EQ(inputs.size(), 4u);
    EXPECT_EQ(inputs[0], "key cw");
    EXPECT_EQ(inputs[1].rfind("# key ccw at ", 0), 0u) << inputs[1];
    EXPECT_NE(inputs[1].find("dropped"), std::string::npos) << inputs[1];
    EXPECT_EQ(inputs[2].rfind("# on at ", 0), 0u) << inputs[2];
    EXPECT_EQ(inputs[3].rfind("# off at ", 0), 0u) << inputs[3];
    // The dropped key is gone from the replay; what the window did stands.
    EXPECT_EQ(KeyCode, KEY_CW);
    Loaded l = Load(script.str());
    ASSERT_TRUE(l.ok) << l.complaint;
    int events = 0;
    for (const ScriptLine& line : l.lines) events += line.hasEvent;
    EXPECT_EQ(events, 1);
}

TEST_F(RecordingTest, CloseEndsWithTheStateTheWindowShowsAndRecordsNothingAfter) {
    PowerState = POWER_ON;
    ScreenHandler = MainMenuScreen;
    HomePage = 3;
    MenuCursor = 4;
    EditMode = 1;
    SecondZone = 100;
    CalibrationOffset = -20;
    AlarmHour = 23;
    RawSensor = 2048;
    form->TrackBar6->setValue(17); // the label follows the bar; RawSensor too
    form->close();
    PowerState = POWER_OFF;
    QTest::mouseClick(form->Button3, Qt::LeftButton);
    const std::vector<std::string> lines = LinesOf(script.str());
    const auto has = [&lines](const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    for (const char* line :
         {"expect ScreenHandler MainMenuScreen", "expect HomePage 3", "expect MenuCursor 4", "expect EditMode 1",
          "expect MainZone 0", "expect SecondZone 100", "expect CalibrationOffset -20", "expect AlarmHour 23",
          "expect RawSensor 17", "expect Label15 17", "expect Power on"})
        EXPECT_TRUE(has(line)) << line << "\n" << script.str();
    EXPECT_EQ(lines.back(), "expect Power on");
    EXPECT_FALSE(has("key cw"));
    // Every state line is one the runner reads.
    Loaded l = Load(script.str());
    EXPECT_TRUE(l.ok) << l.complaint;
}

TEST_F(RecordingTest, BeforeTheFirstOnTheScreenIsNone) {
    form->close();
    const std::vector<std::string> lines = LinesOf(script.str());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "expect ScreenHandler none"), lines.end());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "expect Power off"), lines.end());
    std::ostringstream out, err;
    ScriptRunner runner(out, err);
    ASSERT_TRUE(runner.Load(script.str(), "recorded.tmx", ".")) << err.str();
    EXPECT_EQ(runner.Run(), 0) << err.str();
}

// --- The file ----------------------------------------------------------------------

TEST(RecorderFile, EachLineIsInTheFileAsSoonAsItIsWritten) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath(QStringLiteral("s.tmx")).toStdString();
    std::string why;
    std::unique_ptr<Recorder> r = Recorder::OpenFile(path, &why);
    ASSERT_TRUE(r) << why;
    r->Begin(HEADLESS_EPOCH);
    r->Event(500, "on");
    // Read back while the recorder still holds the file open, as after a kill.
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(LinesOf(text.str()).back(), "on");
}

TEST(RecorderFile, AFileThatCannotBeMadeIsRefusedBeforeAnyWindow) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("missing/s.tmx"));
    std::string why;
    EXPECT_FALSE(Recorder::OpenFile(path.toStdString(), &why));
    EXPECT_FALSE(why.empty());

    // No display at all: the file is still what the program complains about.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* n : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(n));
    const struct {
        const char* name;
        QStringList args;
        const char* says;
    } rows[] = {
        {"missing folder", {QStringLiteral("--record"), path}, "cannot record to"},
        {"no file named", {QStringLiteral("--record")}, "give exactly one file"},
        {"two files named", {QStringLiteral("--record"), path, path}, "give exactly one file"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TMX5_BINARY), row.args);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 2);
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_TRUE(err.contains(QLatin1String(row.says))) << err.toStdString();
    }
    EXPECT_FALSE(QDir(dir.filePath(QStringLiteral("missing"))).exists());
}
