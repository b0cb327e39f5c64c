// The coverage recorder: counts what each pass of the headless host made
// the instrument do (see Coverage.h).
#include "Coverage.h"

#include <climits>

#include "runtime/Runtime.h"
#include "screens/Screens.h"
#include "script/ScriptCommands.h"

namespace {

const size_t NONE = (size_t)-1;

// What a key moves rather than sets: a change of these alone is navigation.
bool IsNavigation(const std::string& name) {
    return name == "KeyCode" || name == "MenuCursor" || name == "EditMode" || name == "HomePage" ||
           name == "InactivitySeconds";
}

} // namespace

CoverageRecorder::CoverageRecorder() : data_(EmptyCoverage()) {
    const size_t n = data_.screens.size();
    transitionAt_.assign(n * n, NONE);
    for (size_t i = 0; i < data_.transitions.size(); i++) {
        const auto& t = data_.transitions[i];
        const int from = ScreenIndex(ScreenRoutineByName(t.from.c_str()));
        const int to = ScreenIndex(ScreenRoutineByName(t.to.c_str()));
        transitionAt_[(size_t)from * n + (size_t)to] = i;
    }
    fieldAt_.assign(n, NONE);
    for (size_t i = data_.fields.size(); i-- > 0;)
        fieldAt_[(size_t)ScreenIndex(ScreenRoutineByName(data_.fields[i].screen.c_str()))] = i;
    keyCount_ = KeyTable().size();
    for (size_t i = 0; i < data_.values.size(); i++) {
        const StateName* var = FindStateName(data_.values[i].name);
        blocks_.push_back({var, i});
        if (var->count == 1) scalars_[var->kind].push_back({var->address, LLONG_MAX, LLONG_MIN, i});
    }
}

const CoverageData& CoverageRecorder::Data() const {
    if (sampled_)
        for (const auto& kind : scalars_)
            for (const Scalar& s : kind) {
                CoverageData::Value& v = data_.values[s.value];
                v.seen = true;
                v.lowest = s.lowest;
                v.highest = s.highest;
            }
    return data_;
}

int CoverageRecorder::ScreenIndex(ScreenRoutine routine) {
    if (routine == cachedRoutine_ && routine != nullptr) return cachedIndex_;
    const ScreenRow* row = FindScreen(routine);
    int index = -1;
    for (u8 i = 0; row != nullptr && i < ScreenCount(); i++)
        if (ScreenRowAt(i) == row) index = i;
    cachedRoutine_ = routine;
    cachedIndex_ = index;
    return index;
}

void CoverageRecorder::See(int condition) { data_.conditions[(size_t)condition].count++; }

// The lowest and highest value of each scalar of one type, in a tight loop
// per type: the recorder samples every variable at every tick.
template <typename T>
static void SampleScalars(std::vector<CoverageRecorder::Scalar>* scalars) {
    for (CoverageRecorder::Scalar& s : *scalars) {
        const long long x = *(const T*)s.address;
        s.lowest = x < s.lowest ? x : s.lowest;
        s.highest = x > s.highest ? x : s.highest;
    }
}

void CoverageRecorder::Sample() {
    sampleDue_ = false;
    sampled_ = true;
    SampleScalars<u8>(&scalars_[STATE_U8]);
    SampleScalars<s8>(&scalars_[STATE_S8]);
    SampleScalars<u32>(&scalars_[STATE_U32]);
    SampleScalars<s32>(&scalars_[STATE_S32]);
    SampleScalars<s64>(&scalars_[STATE_S64]);
    if (arraysDue_) {
        arraysDue_ = false;
        for (const Block& b : blocks_) {
            if (b.var->count == 1) continue;
            CoverageData::Value& v = data_.values[b.value];
            for (int i = 0; i < b.var->count; i++) {
                const long long x = ReadStateValue(b.var, i);
                v.lowest = !v.seen || x < v.lowest ? x : v.lowest;
                v.highest = !v.seen || x > v.highest ? x : v.highest;
                v.seen = true;
            }
        }
    }
    if (ExpiryFlags & EXPIRY_TIMER) See(C_TIMER_EXPIRED);
    if (AckFlags & EXPIRY_TIMER) See(C_TIMER_ACKNOWLEDGED);
    if (ExpiryFlags & EXPIRY_ALARM) See(C_ALARM_REACHED);
    if (AckFlags & EXPIRY_ALARM) See(C_ALARM_ACKNOWLEDGED);
    if (StopwatchRunning == 1) See(C_STOPWATCH_RUNNING);
    if (TempDisplay < OatRangeLow()) See(C_OAT_UNDER_RANGE);
    if (TempDisplay > OatRangeHigh()) See(C_OAT_OVER_RANGE);
    if (CalibrateEnabled == 1) See(C_CALIBRATE_USED);
}

bool CoverageRecorder::SettingsDiffer() const {
    size_t at = 0;
    for (const Block& b : blocks_) {
        if (IsNavigation(b.var->name)) continue;
        for (int i = 0; i < b.var->count; i++, at++)
            if (before_[at] != ReadStateValue(b.var, i)) return true;
    }
    return false;
}

void CoverageRecorder::BeforeScreen() {
    ran_ = ScreenIndex(ScreenHandler);
    // Between two passes of one power-on only the inactivity return moves
    // the instrument to another screen.
    if (lastAfter_ != nullptr && ScreenHandler != lastAfter_) {
        const int from = ScreenIndex(lastAfter_);
        const int to = ScreenIndex(ScreenHandler);
        if (ScreenHandler == HomeScreen) See(C_INACTIVITY_RETURN);
        if (from >= 0 && to >= 0) {
            const size_t n = data_.screens.size();
            size_t& at = transitionAt_[(size_t)from * n + (size_t)to];
            if (at == NONE) {
                at = data_.transitions.size();
                data_.transitions.push_back(
                    {data_.screens[(size_t)from].name, data_.screens[(size_t)to].name, false, 0});
            }
            data_.transitions[at].count++;
        }
        ran_ = ScreenIndex(ScreenHandler);
    }
    key_ = KeyCode;
    cursor_ = MenuCursor;
    edit_ = EditMode;
    page_ = HomePage;
    if (key_ != 0) {
        before_.clear();
        for (const Block& b : blocks_) {
            if (IsNavigation(b.var->name)) continue;
            for (int i = 0; i < b.var->count; i++) before_.push_back(ReadStateValue(b.var, i));
        }
        minMaxResets_ = HookCalls[HOOK_MINMAX_RESET];
        unitBefore_ = TempUnitF;
        mainZone_ = MainZone;
        secondZone_ = SecondZone;
        clockOffset_ = UtcClockOffset;
        utcHour_ = UtcTime.Hour;
        utcMinute_ = UtcTime.Minute;
        utcSecond_ = UtcTime.Second;
    }
}

void CoverageRecorder::AfterScreen() {
    lastAfter_ = ScreenHandler;
    if (ran_ < 0) return;
    const size_t ran = (size_t)ran_;
    data_.screens[ran].passes++;
    if (ScreenRowAt((u8)ran)->Routine == HomeScreen && page_ < data_.homePages.size())
        data_.homePages[page_]++;
    const size_t field = fieldAt_[ran];
    const bool onRow = field != NONE && cursor_ <= ScreenRowAt((u8)ran)->LastCursor;
    if (onRow) data_.fields[field + cursor_].selected++;
    const int now = ScreenIndex(ScreenHandler);
    if (now >= 0 && (size_t)now != ran) {
        const size_t n = data_.screens.size();
        size_t& at = transitionAt_[ran * n + (size_t)now];
        if (at == NONE) {
            at = data_.transitions.size();
            data_.transitions.push_back({data_.screens[ran].name, data_.screens[(size_t)now].name, false, 0});
        }
        data_.transitions[at].count++;
    }
    if (key_ != 0) {
        if (key_ >= 1 && key_ <= keyCount_) data_.keys[ran * keyCount_ + (key_ - 1)].count++;
        if (HookCalls[HOOK_MINMAX_RESET] != minMaxResets_) See(C_MINMAX_RESET);
        if (TempUnitF != unitBefore_) See(C_UNIT_CHANGED);
        if (UtcClockOffset != clockOffset_ || UtcTime.Hour != utcHour_ || UtcTime.Minute != utcMinute_ ||
            UtcTime.Second != utcSecond_)
            See(C_UTC_SET);
        for (const auto& z : {std::make_pair(mainZone_, MainZone), std::make_pair(secondZone_, SecondZone)}) {
            if (z.first == ZONE_COUNT - 1 && z.second == 0) See(C_ZONE_WRAPPED_UP);
            if (z.first == 0 && z.second == ZONE_COUNT - 1) See(C_ZONE_WRAPPED_DOWN);
        }
        if ((size_t)now == ran && SettingsDiffer()) {
            if (onRow) data_.fields[field + cursor_].changed++;
            if (KeyStep == 10) See(C_KEYFAST_USED);
        }
        sampleDue_ = arraysDue_ = true;
    }
    if (sampleDue_) Sample();
}

void CoverageRecorder::AfterEvents(unsigned ticks) {
    eventPoints_++;
    if (PowerState == POWER_SPLASH) {
        lastAfter_ = nullptr;
        arraysDue_ = true; // power-on clears the local offsets
        if (StopRequested == 1) See(C_OFF_DURING_SPLASH);
    } else if (PowerState == POWER_ON && RestartRequested == 1) {
        See(C_ON_WHILE_RUNNING);
    }
    if (ticks > 0 || KeyCode != 0 || RawSensor != trackBar_) sampleDue_ = true;
    trackBar_ = RawSensor;
}

void CoverageRecorder::PutBack() {
    lastAfter_ = PowerState == POWER_ON ? ScreenHandler : nullptr;
    sampleDue_ = arraysDue_ = true;
}
