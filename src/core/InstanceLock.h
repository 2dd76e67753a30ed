#pragma once

#include <QString>

// One running copy per application folder: an exclusive lock on a file in that folder. The system
// drops the lock when the holding process ends, however it ends, so a crash leaves nothing stale.
class InstanceLock {
public:
    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // False when another holder has the lock (or the file cannot be opened).
    bool tryLock(const QString& lockFilePath);
    void unlock();
    bool isLocked() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};
