#pragma once

#include "core/Scheduler.h"
#include "platform/DirectoryWatcher.h"

#include <QString>

#include <chrono>
#include <memory>

class QFileSystemWatcher;

namespace telvanto::platform {

// Watches a directory through inotify (QFileSystemWatcher). Until the directory exists, its
// nearest existing ancestor is watched, so a directory made later is noticed too. The burst
// of events one write makes (temporary file, rename) is reported once, a moment after it began.
class QtDirectoryWatcher final : public DirectoryWatcher {
public:
    static constexpr std::chrono::milliseconds settleTime{100};

    QtDirectoryWatcher(core::Scheduler& scheduler, QString directory);
    ~QtDirectoryWatcher() override;

    void start(std::function<void()> onChange) override;
    void stop() override;

    // The path watched now: the directory, or while it is missing, its nearest ancestor.
    QString watchedPath() const;

private:
    void arm();
    void changed();

    core::Scheduler& scheduler_;
    const QString directory_;
    std::function<void()> onChange_;
    std::unique_ptr<QFileSystemWatcher> watcher_;
    core::TaskHandle settling_;
};

} // namespace telvanto::platform
