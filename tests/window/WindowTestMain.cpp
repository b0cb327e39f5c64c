// The window's tests run against real Qt widgets on the offscreen platform,
// so they need an application object before the first test.
#include "WindowTestSupport.h"

#include <gtest/gtest.h>
#include <QApplication>

qint64 FakeWall::ns = 0;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
