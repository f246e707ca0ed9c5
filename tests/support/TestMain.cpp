// Entry of every test program: one application object (the widgets' one where the program tests
// the desktop, Qt Core's otherwise) on the offscreen platform, then GoogleTest.
#ifdef QUORVEL_TEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (!std::getenv("QT_QPA_PLATFORM"))
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::signal(SIGPIPE, SIG_IGN);
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
