#include "SimControls.h"

#include "DisplayPicture.h"
#include "Recorder.h"
#include "SessionRecording.h"
#include "WindowSession.h"
#include "runtime/Runtime.h"
#include "screens/Screens.h"
#include "sim/PanelNames.h"
#include "state/StateNames.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>
#include <functional>

namespace {

const double Speeds[5] = {1, 10, 60, 600, 0};
const char* const SpeedNames[5] = {"1x", "10x", "60x", "600x", "Fastest"};

std::string Binary(long long value, int bits) {
    std::string text;
    for (int b = bits - 1; b >= 0; b--) text += (value >> b) & 1 ? '1' : '0';
    return text;
}

std::string TimeText(const TimeFields& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", (unsigned)(t.Year + 1900),
                  (unsigned)(t.Month + 1), (unsigned)t.Day, (unsigned)t.Hour, (unsigned)t.Minute,
                  (unsigned)t.Second);
    return text;
}

struct Row {
    std::string name;
    std::function<std::string()> value;
};

// Every row of the inspector, in order: what a user reads first, then every
// state value under the name `expect` takes.
std::vector<Row> InspectorRows() {
    std::vector<Row> rows;
    for (const char* name : {"ScreenHandler", "Power"}) {
        const PanelName* n = FindPanelName(name);
        rows.push_back({name, [n] { return n->read(PanelView()); }});
    }
    rows.push_back({"ExpiryFlags (binary)", [] { return Binary(ExpiryFlags, 8); }});
    rows.push_back({"AckFlags (binary)", [] { return Binary(AckFlags, 8); }});
    rows.push_back({"MainZoneTime", [] { return TimeText(MainZoneTime); }});
    rows.push_back({"SecondZoneTime", [] { return TimeText(SecondZoneTime); }});
    rows.push_back({"Main zone's local offset", [] {
                        char text[64];
                        const int h = LocalOffsetHours[MainZone], m = LocalOffsetMinutes[MainZone];
                        std::snprintf(text, sizeof text, "LocalOffset[%u] %+d h %+d min", (unsigned)MainZone,
                                      h, m);
                        return std::string(text);
                    }});
    for (const StateName& n : StateNames()) {
        if (std::strcmp(n.name, "FrameBuffer") == 0) continue;
        for (int i = 0; i < n.count; i++) {
            std::string name = n.name;
            if (n.count > 1) name += "[" + std::to_string(i) + "]";
            const StateName* var = &n;
            rows.push_back({name, [var, i] { return std::to_string(ReadStateValue(var, i)); }});
        }
    }
    return rows;
}

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = InspectorRows();
    return rows;
}

} // namespace

SimControls::SimControls(WindowSession* session, QWidget* window, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), window_(window) {
    setObjectName(QStringLiteral("SimControls"));
    setWindowTitle(QStringLiteral("TMX-5 simulator controls"));
    // The program ends when the instrument window closes, whether or not
    // this one is open.
    setAttribute(Qt::WA_QuitOnClose, false);
    QVBoxLayout* top = new QVBoxLayout(this);

    QGroupBox* utcBox = new QGroupBox(QStringLiteral("UTC"), this);
    QHBoxLayout* utcRow = new QHBoxLayout(utcBox);
    UtcEdit = new QDateTimeEdit(utcBox);
    UtcEdit->setTimeSpec(Qt::UTC);
    UtcEdit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    UtcEdit->setMinimumDateTime(QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC));
    UtcEdit->setMaximumDateTime(QDateTime(QDate(2099, 12, 31), QTime(23, 59, 59), Qt::UTC));
    UtcEdit->setDateTime(QDateTime::fromSecsSinceEpoch(session_->ShownUtcSeconds(), Qt::UTC));
    // The field follows the clock until the user edits it.
    connect(UtcEdit, &QDateTimeEdit::dateTimeChanged, this, [this] { utcEdited_ = true; });
    SetUtcButton = new QPushButton(QStringLiteral("Set"), utcBox);
    FollowBox = new QCheckBox(QStringLiteral("Follow the computer's clock"), utcBox);
    utcRow->addWidget(UtcEdit);
    utcRow->addWidget(SetUtcButton);
    utcRow->addWidget(FollowBox);
    top->addWidget(utcBox);

    QGroupBox* speedBox = new QGroupBox(QStringLiteral("Speed"), this);
    QGridLayout* speedGrid = new QGridLayout(speedBox);
    PauseButton = new QPushButton(QStringLiteral("Pause"), speedBox);
    StepPassButton = new QPushButton(QStringLiteral("Step one pass"), speedBox);
    StepSecondButton = new QPushButton(QStringLiteral("Step one second"), speedBox);
    speedGrid->addWidget(PauseButton, 0, 0);
    speedGrid->addWidget(StepPassButton, 0, 1);
    speedGrid->addWidget(StepSecondButton, 0, 2);
    QHBoxLayout* speedRow = new QHBoxLayout;
    for (int i = 0; i < 5; i++) {
        SpeedButtons[i] = new QPushButton(QString::fromLatin1(SpeedNames[i]), speedBox);
        SpeedButtons[i]->setCheckable(true);
        speedRow->addWidget(SpeedButtons[i]);
        connect(SpeedButtons[i], &QPushButton::clicked, this, [this, i] { SetSpeedIndex(i); });
    }
    speedGrid->addLayout(speedRow, 1, 0, 1, 3);
    StatusLabel = new QLabel(speedBox);
    StatusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    speedGrid->addWidget(StatusLabel, 2, 0, 1, 3);
    top->addWidget(speedBox);

    QGroupBox* travelBox = new QGroupBox(QStringLiteral("Session"), this);
    QGridLayout* travelGrid = new QGridLayout(travelBox);
    Timeline = new QSlider(Qt::Horizontal, travelBox);
    Timeline->setObjectName(QStringLiteral("Timeline"));
    Timeline->setToolTip(QStringLiteral("The session from its start to now: drag to go back to any pass"));
    BackSecondButton = new QPushButton(QStringLiteral("<< 1 s"), travelBox);
    BackPassButton = new QPushButton(QStringLiteral("< 1 pass"), travelBox);
    ForwardPassButton = new QPushButton(QStringLiteral("1 pass >"), travelBox);
    ForwardSecondButton = new QPushButton(QStringLiteral("1 s >>"), travelBox);
    BackSecondButton->setToolTip(QStringLiteral("Back one second (Ctrl+Left)"));
    BackPassButton->setToolTip(QStringLiteral("Back one pass (Ctrl+Shift+Left)"));
    ForwardPassButton->setToolTip(QStringLiteral("Forward one pass, again as it went (Ctrl+Shift+Right)"));
    ForwardSecondButton->setToolTip(QStringLiteral("Forward one second, again as it went (Ctrl+Right)"));
    travelGrid->addWidget(Timeline, 0, 0, 1, 4);
    travelGrid->addWidget(BackSecondButton, 1, 0);
    travelGrid->addWidget(BackPassButton, 1, 1);
    travelGrid->addWidget(ForwardPassButton, 1, 2);
    travelGrid->addWidget(ForwardSecondButton, 1, 3);
    top->addWidget(travelBox);
    connect(Timeline, &QSlider::valueChanged, this, [this](int value) {
        session_->TravelTo(uint64_t(value));
        Refresh();
    });
    connect(BackSecondButton, &QPushButton::clicked, this, [this] {
        session_->BackSecond();
        Refresh();
    });
    connect(BackPassButton, &QPushButton::clicked, this, [this] {
        session_->BackPass();
        Refresh();
    });
    connect(ForwardPassButton, &QPushButton::clicked, this, [this] {
        session_->ForwardPass();
        Refresh();
    });
    connect(ForwardSecondButton, &QPushButton::clicked, this, [this] {
        session_->ForwardSecond();
        Refresh();
    });
    // The same keys as in the instrument window.
    const struct {
        const char* keys;
        void (WindowSession::*action)();
    } travelKeys[] = {{"Ctrl+Left", &WindowSession::BackSecond},
                      {"Ctrl+Right", &WindowSession::ForwardSecond},
                      {"Ctrl+Shift+Left", &WindowSession::BackPass},
                      {"Ctrl+Shift+Right", &WindowSession::ForwardPass}};
    for (const auto& k : travelKeys) {
        QShortcut* key = new QShortcut(QKeySequence(QString::fromLatin1(k.keys)), this);
        const auto action = k.action;
        connect(key, &QShortcut::activated, this, [this, action] {
            (session_->*action)();
            Refresh();
        });
    }
    QShortcut* pauseKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+P")), this);
    connect(pauseKey, &QShortcut::activated, this, [this] {
        session_->SetPaused(!session_->Paused());
        Refresh();
    });
    connect(session_, &WindowSession::TravelKeyUsed, this, [this] {
        if (isVisible()) Refresh();
    });

    QGroupBox* inspectBox = new QGroupBox(QStringLiteral("Inspector"), this);
    QVBoxLayout* inspectCol = new QVBoxLayout(inspectBox);
    FilterEdit = new QLineEdit(inspectBox);
    FilterEdit->setPlaceholderText(QStringLiteral("Filter names"));
    FilterEdit->setClearButtonEnabled(true);
    Inspector = new QTableWidget(int(Rows().size()), 2, inspectBox);
    Inspector->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
    Inspector->verticalHeader()->setVisible(false);
    Inspector->verticalHeader()->setDefaultSectionSize(Inspector->fontMetrics().height() + 6);
    Inspector->horizontalHeader()->setStretchLastSection(true);
    Inspector->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Inspector->setMinimumHeight(260);
    for (int r = 0; r < int(Rows().size()); r++) {
        Inspector->setItem(r, 0, new QTableWidgetItem(QString::fromStdString(Rows()[r].name)));
        Inspector->setItem(r, 1, new QTableWidgetItem);
    }
    Inspector->resizeColumnToContents(0);
    inspectCol->addWidget(FilterEdit);
    inspectCol->addWidget(Inspector);
    top->addWidget(inspectBox, 1);

    QHBoxLayout* bottom = new QHBoxLayout;
    ScreenshotButton = new QPushButton(QStringLiteral("Screenshot"), this);
    RecordButton = new QPushButton(QStringLiteral("Record..."), this);
    CopyButton = new QPushButton(QStringLiteral("Copy"), this);
    ScreenshotButton->setToolTip(
        QStringLiteral("Saves the display (2x), the face and the window as PNG pictures"));
    CopyButton->setToolTip(QStringLiteral("Puts the display (2x) on the clipboard"));
    bottom->addWidget(ScreenshotButton);
    bottom->addWidget(CopyButton);
    bottom->addWidget(RecordButton);
    bottom->addStretch(1);
    top->addLayout(bottom);
    QHBoxLayout* files = new QHBoxLayout;
    SaveSessionButton = new QPushButton(QStringLiteral("Save session..."), this);
    SaveStateButton = new QPushButton(QStringLiteral("Save state..."), this);
    LoadStateButton = new QPushButton(QStringLiteral("Load state..."), this);
    SaveSessionButton->setToolTip(
        QStringLiteral("Saves the session up to the pass shown as a scenario for tmx5 run (Ctrl+S)"));
    SaveStateButton->setToolTip(QStringLiteral("Saves the state at the pass shown (Ctrl+Shift+S)"));
    LoadStateButton->setToolTip(
        QStringLiteral("Puts a saved state back; the session starts again there (Ctrl+O)"));
    files->addWidget(SaveSessionButton);
    files->addWidget(SaveStateButton);
    files->addWidget(LoadStateButton);
    files->addStretch(1);
    top->addLayout(files);
    connect(SaveSessionButton, &QPushButton::clicked, this, [this] { session_->SaveSessionAs(window_); });
    connect(SaveStateButton, &QPushButton::clicked, this, [this] { session_->SaveStateAs(window_); });
    connect(LoadStateButton, &QPushButton::clicked, this, [this] { session_->LoadStateAs(window_); });
    connect(CopyButton, &QPushButton::clicked, this, [this] {
        QGuiApplication::clipboard()->setImage(DisplayPicture(session_->LastFrame(), UnlitColour(window_)));
        MessageLabel->setText(QStringLiteral("Copied the display to the clipboard."));
    });
    connect(session_, &WindowSession::Message, this,
            [this](const QString& text) { MessageLabel->setText(text); });
    connect(session_, &WindowSession::SessionSaved, this,
            [this](bool, const QString& text) { MessageLabel->setText(text); });
    const struct {
        const char* keys;
        void (WindowSession::*action)(QWidget*);
    } fileKeys[] = {{"Ctrl+S", &WindowSession::SaveSessionAs},
                    {"Ctrl+Shift+S", &WindowSession::SaveStateAs},
                    {"Ctrl+O", &WindowSession::LoadStateAs}};
    for (const auto& k : fileKeys) {
        QShortcut* key = new QShortcut(QKeySequence(QString::fromLatin1(k.keys)), this);
        const auto action = k.action;
        connect(key, &QShortcut::activated, session_, [this, action] { (session_->*action)(window_); });
    }
    MessageLabel = new QLabel(this);
    MessageLabel->setWordWrap(true);
    MessageLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(MessageLabel);

    screenshotFolder_ = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
    if (screenshotFolder_.isEmpty() || !QDir(screenshotFolder_).exists())
        screenshotFolder_ = QDir::homePath();

    connect(SetUtcButton, &QPushButton::clicked, this, [this] {
        session_->SetUtc(UtcEdit->dateTime().toSecsSinceEpoch());
        utcEdited_ = false;
        UpdateButtons();
    });
    connect(FollowBox, &QCheckBox::clicked, this, [this](bool on) {
        if (on) session_->FollowComputerClock();
        UpdateButtons();
    });
    connect(PauseButton, &QPushButton::clicked, this, [this] {
        session_->SetPaused(!session_->Paused());
        UpdateButtons();
    });
    connect(StepPassButton, &QPushButton::clicked, this, [this] { session_->StepPass(); });
    connect(StepSecondButton, &QPushButton::clicked, this, [this] { session_->StepSecond(); });
    connect(FilterEdit, &QLineEdit::textChanged, this, &SimControls::ApplyFilter);
    connect(ScreenshotButton, &QPushButton::clicked, this, &SimControls::TakeScreenshots);
    connect(RecordButton, &QPushButton::clicked, this, &SimControls::RecordClicked);
    connect(&session_->Recording(), &SessionRecording::Ended, this, [this] {
        if (!recorder_) return;
        MessageLabel->setText(recorder_->Error().empty()
                                  ? QStringLiteral("Recorded %1 (replay it with tmx5 run).")
                                        .arg(QString::fromStdString(recorder_->Path()))
                                  : QString::fromStdString(recorder_->Error()));
        recorder_.reset();
        UpdateButtons();
    });

    QTimer* refresh = new QTimer(this);
    refresh->setInterval(100); // at most 10 times a wall second
    connect(refresh, &QTimer::timeout, this, [this] {
        if (isVisible()) Refresh();
    });
    refresh->start();
    Refresh();
    // A fixed width: the status line and the messages wrap, the window does
    // not grow with them.
    StatusLabel->setWordWrap(true);
    setFixedWidth(sizeHint().width());
}

void SimControls::TakeScreenshots() {
    const ScreenshotPaths paths =
        SaveScreenshots(window_, session_->LastFrame(), UnlitColour(window_), screenshotFolder_);
    MessageLabel->setText(
        paths.display.isEmpty() || paths.window.isEmpty() || paths.face.isEmpty()
            ? QStringLiteral("The screenshot could not be written into %1.").arg(screenshotFolder_)
            : QStringLiteral("Saved the display as %1, the face as %2 and the window as %3.")
                  .arg(paths.display, paths.face, paths.window));
}

SimControls::~SimControls() {
    if (recorder_ && session_->Recording().Active() == recorder_.get()) {
        // The window outlives no recording it cannot finish.
        session_->Recording().Stop();
    }
}

void SimControls::SetSpeedIndex(int index) {
    session_->SetSpeed(Speeds[index]);
    UpdateButtons();
}

void SimControls::UpdateButtons() {
    const bool paused = session_->Paused();
    PauseButton->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    StepPassButton->setEnabled(paused);
    StepSecondButton->setEnabled(paused);
    for (int i = 0; i < 5; i++) SpeedButtons[i]->setChecked(session_->Pace().Speed() == Speeds[i]);
    FollowBox->setChecked(session_->Following());
    const bool recording = recorder_ != nullptr;
    RecordButton->setText(recording ? QStringLiteral("Stop") : QStringLiteral("Record..."));
    RecordButton->setEnabled(recording || !session_->Recording().Active());
    RecordButton->setToolTip(
        recording ? QStringLiteral("Ends the recording")
                  : QStringLiteral("Records from here into a scenario for tmx5 run (while off: "
                                   "from a freshly started instrument)"));
}

void SimControls::Refresh() {
    const VirtualClock& sim = session_->Sim();
    const qint64 ms = (qint64)sim.NowMs();
    const QDateTime utc = QDateTime::fromMSecsSinceEpoch(sim.UtcMs(), Qt::UTC);
    const double speed = session_->Pace().Speed();
    StatusLabel->setText(QStringLiteral("Virtual time %1:%2:%3.%4, %5 passes; UTC %6; %7")
                             .arg(ms / 3600000)
                             .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
                             .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
                             .arg(ms % 1000, 3, 10, QLatin1Char('0'))
                             .arg(session_->EventPoints())
                             .arg(utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")))
                             .arg(session_->Paused() ? QStringLiteral("paused")
                                  : speed == 0       ? QStringLiteral("fastest")
                                                     : QStringLiteral("%1x").arg(speed)));
    const SessionHistory& history = session_->History();
    Timeline->blockSignals(true);
    Timeline->setRange(int(history.StartPoint()), int(history.End()));
    Timeline->setValue(int(session_->EventPoints()));
    Timeline->blockSignals(false);
    BackSecondButton->setEnabled(session_->EventPoints() > history.StartPoint());
    BackPassButton->setEnabled(session_->EventPoints() > history.StartPoint());
    if (!utcEdited_) {
        UtcEdit->blockSignals(true);
        UtcEdit->setDateTime(QDateTime::fromSecsSinceEpoch(session_->ShownUtcSeconds(), Qt::UTC));
        UtcEdit->blockSignals(false);
    }
    const bool first = values_.empty();
    values_.resize(Rows().size());
    changes_.resize(Rows().size());
    const QBrush changed(QColor(255, 236, 139));
    for (size_t r = 0; r < Rows().size(); r++) {
        const std::string value = Rows()[r].value();
        QTableWidgetItem* item = Inspector->item(int(r), 1);
        const bool differs = !first && value != values_[r];
        changes_[r] = (changes_[r] << 1 | (differs ? 1 : 0)) & 0xF;
        // Changed now, but not at most of the three refreshes before.
        const bool busy = __builtin_popcount(changes_[r] >> 1) >= 2;
        const bool highlight = differs && !busy;
        if (first || differs) item->setText(QString::fromStdString(value));
        item->setBackground(highlight ? changed : QBrush());
        item->setData(Qt::UserRole, highlight);
        values_[r] = value;
    }
    UpdateButtons();
}

int SimControls::HighlightedRows() const {
    int n = 0;
    for (int r = 0; r < Inspector->rowCount(); r++)
        if (Inspector->item(r, 1)->data(Qt::UserRole).toBool()) n++;
    return n;
}

void SimControls::ApplyFilter() {
    const QString filter = FilterEdit->text().trimmed();
    for (int r = 0; r < Inspector->rowCount(); r++)
        Inspector->setRowHidden(
            r, !filter.isEmpty() && !Inspector->item(r, 0)->text().contains(filter, Qt::CaseInsensitive));
}

bool SimControls::RecordTo(const QString& path) {
    if (recorder_ || session_->Recording().Active()) {
        MessageLabel->setText(QStringLiteral("A recording is running: stop it first."));
        return false;
    }
    const bool fromHere = PowerState != POWER_OFF || session_->StateLoaded();
    std::string why;
    std::unique_ptr<Recorder> recorder = Recorder::OpenFile(path.toStdString(), &why);
    if (!recorder) {
        MessageLabel->setText(
            QStringLiteral("Cannot record to %1: %2").arg(path, QString::fromStdString(why)));
        return false;
    }
    recorder_ = std::move(recorder);
    session_->Recording().Start(recorder_.get());
    if (!recorder_) return false; // the header could not be written
    MessageLabel->setText(
        fromHere ? QStringLiteral("Recording into %1 from here (the state it starts from goes "
                                  "beside it, as .start.state).")
                       .arg(path)
                 : QStringLiteral("Recording into %1 from a freshly started instrument.").arg(path));
    UpdateButtons();
    return true;
}

void SimControls::RecordClicked() {
    if (recorder_) {
        session_->Recording().Stop();
        return;
    }
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Record the session"),
                                                      QDir::current().filePath(QStringLiteral("session.tmx")),
                                                      QStringLiteral("Scenario scripts (*.tmx)"));
    if (!path.isEmpty()) RecordTo(path);
}
