#include "sync_together.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace pdx::detail {
namespace {

// Threads kept to sync files side by side: starting threads for every commit
// cost more than the syncs' own work. A child made by fork() has none of its
// parent's threads, so it starts its own set.
class SyncWorkers {
 public:
  static SyncWorkers& ofThisProcess() {
    static std::mutex guard;
    static SyncWorkers* workers = nullptr;
    std::lock_guard<std::mutex> lock(guard);
    // The parent's set is left alone in a child: its threads are not there.
    if (!workers || workers->pid_ != ::getpid()) workers = new SyncWorkers();
    return *workers;
  }

  // Runs every job, the first on the calling thread, and waits for all.
  void runAll(std::vector<std::function<void()>>& jobs) {
    std::unique_lock<std::mutex> lock(mutex_);
    size_t pending = jobs.size() - 1;
    for (size_t i = 1; i < jobs.size(); ++i) {
      queue_.push_back([&, job = &jobs[i]] {
        (*job)();
        std::lock_guard<std::mutex> done(mutex_);
        if (--pending == 0) finished_.notify_all();
      });
    }
    while (threads_ < std::min(queue_.size(), kMaxThreads)) {
      std::thread(&SyncWorkers::work, this).detach();
      ++threads_;
    }
    work_.notify_all();
    lock.unlock();
    jobs[0]();
    lock.lock();
    finished_.wait(lock, [&] { return pending == 0; });
  }

 private:
  static constexpr size_t kMaxThreads = 7;

  void work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [&] { return !queue_.empty(); });
      std::function<void()> job = std::move(queue_.front());
      queue_.pop_front();
      lock.unlock();
      job();
      lock.lock();
    }
  }

  const pid_t pid_ = ::getpid();
  std::mutex mutex_;
  std::condition_variable work_, finished_;
  std::deque<std::function<void()>> queue_;
  size_t threads_ = 0;
};

}  // namespace

Status syncTogether(Env* env, std::vector<std::function<Status()>>& syncs) {
  if (syncs.size() < 2 || !env->concurrentSyncs()) {
    for (auto& sync : syncs) PDX_RETURN_IF_ERROR(sync());
    return {};
  }
  std::vector<Status> results(syncs.size());
  std::vector<std::function<void()>> jobs;
  jobs.reserve(syncs.size());
  for (size_t i = 0; i < syncs.size(); ++i) jobs.emplace_back([&results, &syncs, i] { results[i] = syncs[i](); });
  SyncWorkers::ofThisProcess().runAll(jobs);
  for (const Status& st : results) PDX_RETURN_IF_ERROR(st);
  return {};
}

}  // namespace pdx::detail
