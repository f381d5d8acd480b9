#include "platform/QtDirectoryWatcher.h"

#include "identity/CredentialStore.h"

#include "TempDir.h"
#include "VirtualScheduler.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <filesystem>
#include <functional>

using namespace std::chrono_literals;
using telvanto::identity::CredentialStore;
using telvanto::platform::QtDirectoryWatcher;
using telvanto::testing::TempDir;
using telvanto::testing::VirtualScheduler;

namespace {

// Lets the watcher read what inotify queued; the kernel queued it before the change returned.
void deliver() { for (int i = 0; i < 5; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents); }

} // namespace

TEST(QtDirectoryWatcher, ReportsEachBurstOfChangesOnce)
{
    int argc = 0;
    QCoreApplication app(argc, nullptr); // inotify is read through the event loop
    using S = const CredentialStore&;
    using T = const TempDir&;
    const struct { const char* name; bool exists; /* the directory, when watching starts */ std::function<void(S, T)> act; int reports; } rows[] = {
        {"nothing", true, [](S, T) {}, 0}, {"an item written", true, [](S s, T) { s.storeHost("10.0.0.5"); }, 1},
        {"two items written", true, [](S s, T) { s.storeHost("10.0.0.5"), s.write("x", {}); }, 1},
        {"an item removed", true, [](S s, T) { s.remove(CredentialStore::tvKeyItem); }, 1}, {"a file read", true, [](S s, T) { s.loadPinnedKey(); }, 0},
        {"the directory made later", false, [](S s, T) { s.storeHost("10.0.0.5"); }, 1},
        {"another directory beside it", false, [](S, T t) { std::filesystem::create_directories(t / "other/telvanto"); }, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir temp;
        const auto directory = temp / "share/telvanto";
        const CredentialStore store(directory);
        if (row.exists) store.storePinnedKey(telvanto::identity::RSAPublicKey{{0x05}, {0x03}});
        VirtualScheduler scheduler;
        QtDirectoryWatcher watcher(scheduler, QString::fromStdString(directory));
        int reports = 0;
        watcher.start([&] { ++reports; });
        EXPECT_EQ(watcher.watchedPath().toStdString(), (row.exists ? directory : temp.path()).string());
        deliver();
        scheduler.advance(1s);
        EXPECT_EQ(reports, 0) << "start reports nothing";

        row.act(store, temp);
        deliver();
        scheduler.advance(QtDirectoryWatcher::settleTime - 1ms);
        EXPECT_EQ(reports, 0);
        scheduler.advance(1ms);
        EXPECT_EQ(reports, row.reports);

        // Whatever happened, the directory itself is watched once it exists.
        store.storeHost("10.0.0.6");
        deliver();
        scheduler.advance(QtDirectoryWatcher::settleTime);
        EXPECT_EQ(reports, row.reports + 1);
        EXPECT_EQ(watcher.watchedPath().toStdString(), directory.string());

        watcher.stop();
        store.storeHost("10.0.0.7");
        deliver();
        scheduler.advance(1s);
        EXPECT_EQ(reports, row.reports + 1) << "nothing after stop";
    }
}
