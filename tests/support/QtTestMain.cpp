// GoogleTest main for tests that need a Qt application and its event loop.
#include "transport/TLSChannel.h"

#include "EventLoop.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Channels dropped by the last test are still parting politely; let them finish, so the
    // process ends with nothing left behind.
    telvanto::testing::waitUntil([] { return telvanto::transport::TLSChannel::instances() == 0; }, std::chrono::seconds(3));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return result;
}
