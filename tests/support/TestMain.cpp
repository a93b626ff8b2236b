// The main of every test program: one Qt application on the offscreen
// platform, so that the message queue, timers, sockets and forms all run.
// With TENVAREL_TEST_WITHOUT_APPLICATION set the program starts without one,
// for the tests that make and end applications themselves (they start
// themselves that way, see support/WithoutApplication.h).
#include <QApplication>
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include "support/Assertions.h"

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::unique_ptr<QApplication> app;
    if (!std::getenv("TENVAREL_TEST_WITHOUT_APPLICATION"))
        app = std::make_unique<QApplication>(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    FailTestsOnFailedChecks();
    return RUN_ALL_TESTS();
}
