#include "serial/WriteWatch.h"

#include <atomic>

namespace karvo {
namespace {

std::atomic<IWriteWatcher*> gWatcher{nullptr};

}  // namespace

IWriteWatcher* SetWriteWatcher(IWriteWatcher* watcher) { return gWatcher.exchange(watcher); }

IWriteWatcher* WriteWatcher() { return gWatcher.load(); }

}  // namespace karvo
