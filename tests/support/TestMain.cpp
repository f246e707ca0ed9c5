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
    // The machine's system bus stays out of the tests; a test that needs one starts its own
    // and sets the address before the program's first use of it.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-tests-have-no-system-bus", 1);
    std::signal(SIGPIPE, SIG_IGN);
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
