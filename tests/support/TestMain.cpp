// The main of every test program: one Qt application on the offscreen
// platform, so that the message queue, timers, sockets and forms all run.
#include <QApplication>
#include <cstdlib>

#include <gtest/gtest.h>

#include "support/Assertions.h"

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    FailTestsOnFailedChecks();
    return RUN_ALL_TESTS();
}
