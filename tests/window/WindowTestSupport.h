// A fresh instrument and a fresh window for every test: the instrument's
// state is global, so it is reset before the window attaches to it.
#pragma once

#include "Pcmain.h"
#include "runtime/Runtime.h"

#include <QTest>
#include <gtest/gtest.h>

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetInstrumentState();
        form = new TForm1;
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    }
    void TearDown() override {
        delete form;
        ResetInstrumentState();
    }
    TForm1* form = nullptr;
};
