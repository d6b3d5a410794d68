#include "threadpool.h"

#include <objbase.h>
#include <ole2.h>

#include <algorithm>

namespace brix {

ThreadPoolImpl::~ThreadPoolImpl() { Stop(); }

void ThreadPoolImpl::Start() {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  if (running_.exchange(true)) return;
  for (uint32_t i = 0; i < threadCount_; ++i) threads_.emplace_back(&ThreadPoolImpl::WorkerLoop, this, i);
}

bool ThreadPoolImpl::AddTask(std::shared_ptr<IThreadTask> task) {
  task->SetPool(this);
  size_t count = 0;
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pendingTasks_.push_back(std::move(task));
    count = pendingTasks_.size();
  }
  {
    std::lock_guard<std::mutex> lock(waitMutex_);
    wakeUp_.notify_one();
  }
  return count > 0;
}

void ThreadPoolImpl::Stop() {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  if (!running_.exchange(false)) return;
  {
    std::lock_guard<std::mutex> lock(waitMutex_);
    wakeUp_.notify_all();
  }
  {
    std::lock_guard<std::mutex> lock(runningMutex_);
    for (auto& task : runningTasks_) task->Cancel();
  }
  for (auto& t : threads_)
    if (t.joinable()) t.join();
  {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pendingTasks_.clear();
  }
  threads_.clear();
}

bool ThreadPoolImpl::IsStopped() { return !running_.load(); }

size_t ThreadPoolImpl::WorkerCount() {
  std::lock_guard<std::mutex> lifecycle(lifecycleMutex_);
  return threads_.size();
}

void ThreadPoolImpl::WorkerLoop(uint32_t /*index*/) {
  CoInitialize(nullptr);
  OleInitialize(nullptr);
  for (;;) {
    if (!running_.load()) break;
    {
      std::unique_lock<std::mutex> wait(waitMutex_);
      // Waiting under the wait mutex, under which AddTask and Stop signal, so
      // a task queued between the test and the wait is not missed.
      wakeUp_.wait(wait, [this] {
        if (!running_.load()) return true;
        std::lock_guard<std::mutex> lock(pendingMutex_);
        return !pendingTasks_.empty();
      });
    }
    if (!running_.load()) break;
    std::shared_ptr<IThreadTask> task;
    {
      std::lock_guard<std::mutex> lock(pendingMutex_);
      if (pendingTasks_.empty()) continue;
      task = std::move(pendingTasks_.front());
      pendingTasks_.pop_front();
    }
    {
      std::lock_guard<std::mutex> lock(runningMutex_);
      // Stop clears the flag before it cancels the running tasks under this
      // mutex: a task taken just as Stop came would miss its Cancel and run
      // although Stop drops everything not yet started. Drop it here too.
      if (!running_.load()) break;
      runningTasks_.push_back(task);
    }
    task->Run();
    {
      std::lock_guard<std::mutex> lock(runningMutex_);
      auto it = std::find(runningTasks_.begin(), runningTasks_.end(), task);
      if (it != runningTasks_.end()) runningTasks_.erase(it);
    }
    task.reset();
  }
  OleUninitialize();
  CoUninitialize();
}

}  // namespace brix
