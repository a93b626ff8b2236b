#include "support/WithoutApplication.h"

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

bool RunningWithoutApplication()
{
    if (!QCoreApplication::instance())
        return true;
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TENVAREL_TEST_WITHOUT_APPLICATION", "1");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {QString("--gtest_filter=%1.%2").arg(test->test_suite_name(), test->name())});
    // The child's own watchdogs end it well before this one.
    const bool ended = child.waitForFinished(90000);
    if (!ended)
        child.kill();
    const std::string output = child.readAll().toStdString();
    EXPECT_TRUE(ended && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0 &&
                output.find("[  PASSED  ] 1 test.") != std::string::npos)
        << output;
    return false;
}
