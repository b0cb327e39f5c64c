// A fresh instrument and a fresh window for every test: the instrument's
// state is global, so it is reset before the window attaches to it.
//
// The window's pacer runs on a fake wall clock (the computer's UTC, in
// nanoseconds), which moves only when the window asks to wait: tests count
// event points and passes, never milliseconds.
#pragma once

#include "Pcmain.h"
#include "runtime/Runtime.h"
#include "window/SessionRecording.h"
#include "window/WindowSession.h"

#include <gtest/gtest.h>
#include <QTest>

#include <cstring>
#include <functional>

struct FakeWall {
    static qint64 ns;
    static int64_t Now(void*) { return ns; }
};

// 2030-06-01 12:00:00 UTC. The fake computer clock starts 20 ms before it;
// the window sets its host clock at virtual time 1 s, at 12:00:01, and from
// then on reads FakeStartSeconds plus virtual time. Each test starts there.
const qint64 FakeStartSeconds = 1906545600;

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInstrumentState();
        std::memset(HookCalls, 0, sizeof HookCalls);
        FakeWall::ns = FakeStartSeconds * 1000000000LL - 20000000;
        form = new TForm1(nullptr, FakeWall::Now, nullptr);
        form->Session().SetWaitHook([this](qint64 wait) {
            FakeWall::ns += wait;
            if (beforePoint) beforePoint();
        });
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        // The host clock is set at virtual time 1 s; tests start there.
        Deliver();
        ASSERT_EQ(form->Session().Sim().NowMs(), 1000u);
    }
    void TearDown() override {
        delete form;
        ResetInstrumentState();
    }
    // One event point of the idle loop (the instrument off), the fake clock
    // moved on to when it is due. Paused, it runs only what a step allows.
    void IdlePoint() {
        if (!form->Session().Paused()) {
            const qint64 wait = form->Session().Pace().WaitBeforeFrame(form->Session().Sim().NowMs() +
                                                                       form->Session().Sim().FrameMs());
            if (wait > 0) FakeWall::ns += wait;
        }
        form->Session().IdleFrame();
    }
    // Idle event points until every queued input has reached the instrument.
    void Deliver() {
        for (int i = 0; i < 200 && form->Session().PendingInputs() > 0; i++) IdlePoint();
    }
    // ON, then the instrument runs (at the fake clock's pace) until OFF;
    // each runs once while the window waits for each event point.
    void RunOn(std::function<void()> each) {
        uint64_t last = ~0ull;
        beforePoint = [this, each, last]() mutable {
            if (form->Session().EventPoints() == last) return;
            last = form->Session().EventPoints();
            each();
        };
        form->Button1Click();
        Deliver();
        beforePoint = nullptr;
    }
    static u32 Passes() {
        // Every pass of the main loop drives the lamp hook once, lit or dark.
        return HookCalls[HOOK_LAMP_ON] + HookCalls[HOOK_LAMP_OFF];
    }
    TForm1* form = nullptr;
    std::function<void()> beforePoint;
};
