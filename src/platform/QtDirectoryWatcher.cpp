#include "platform/QtDirectoryWatcher.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace telvanto::platform {

QtDirectoryWatcher::QtDirectoryWatcher(core::Scheduler& scheduler, QString directory)
    : scheduler_(scheduler), directory_(QDir::cleanPath(QDir(directory).absolutePath()))
{
}

QtDirectoryWatcher::~QtDirectoryWatcher() = default;

void QtDirectoryWatcher::start(std::function<void()> onChange)
{
    onChange_ = std::move(onChange);
    if (watcher_) return;
    watcher_ = std::make_unique<QFileSystemWatcher>();
    QObject::connect(watcher_.get(), &QFileSystemWatcher::directoryChanged, [this] { changed(); });
    arm();
}

void QtDirectoryWatcher::stop()
{
    watcher_.reset();
    settling_.reset();
    onChange_ = nullptr;
}

QString QtDirectoryWatcher::watchedPath() const
{
    const QStringList watched = watcher_ ? watcher_->directories() : QStringList();
    return watched.isEmpty() ? QString() : watched.first();
}

void QtDirectoryWatcher::arm()
{
    QString target = directory_;
    while (!QFileInfo(target).isDir()) {
        const QString parent = QFileInfo(target).path();
        if (parent == target) return; // nothing of the path exists: nothing to watch
        target = parent;
    }
    if (watchedPath() == target) return;
    if (!watcher_->directories().isEmpty()) watcher_->removePaths(watcher_->directories());
    watcher_->addPath(target);
}

void QtDirectoryWatcher::changed()
{
    arm(); // the directory may have appeared, or gone
    if (!settling_) {
        settling_ = scheduler_.schedule(settleTime, [this] {
            settling_.reset();
            if (onChange_) onChange_();
        });
    }
}

} // namespace telvanto::platform
