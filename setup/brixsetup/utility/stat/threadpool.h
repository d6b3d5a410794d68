#pragma once
// A small pool of worker threads running queued tasks first in first out.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace brix {

class IThreadPool {
 public:
  virtual bool IsStopped() = 0;
  virtual ~IThreadPool() = default;
};

class IThreadTask {
 public:
  // The pool the task was queued on; not owned.
  virtual void SetPool(IThreadPool* pool) = 0;
  // Asks a running task to finish early; may come before Run has started.
  virtual void Cancel() = 0;
  // The work, called once on a worker thread.
  virtual void Run() = 0;
  virtual ~IThreadTask() = default;
};

// Any callable without arguments as a task; Cancel does nothing.
class EasyTask0 : public IThreadTask {
 public:
  explicit EasyTask0(std::function<void()> work) : work_(std::move(work)) {}
  void SetPool(IThreadPool* pool) override { pool_ = pool; }
  void Cancel() override {}
  // An empty work throws std::bad_function_call: an error of the caller.
  void Run() override { work_(); }
  IThreadPool* Pool() const { return pool_; }

 private:
  IThreadPool* pool_ = nullptr;
  std::function<void()> work_;
};

class ThreadPoolImpl : public IThreadPool {
 public:
  explicit ThreadPoolImpl(uint32_t threadCount = 1) : threadCount_(threadCount) {}
  ~ThreadPoolImpl() override;
  ThreadPoolImpl(const ThreadPoolImpl&) = delete;
  ThreadPoolImpl& operator=(const ThreadPoolImpl&) = delete;

  // Creates the workers; does nothing while running. A thread that cannot be
  // created throws std::system_error; the workers created before stay.
  void Start();
  // Queues the task (also while stopped: it waits for the next Start).
  bool AddTask(std::shared_ptr<IThreadTask> task);
  // Cancels and joins running tasks, drops queued ones. Not from a worker of
  // this pool: joining itself throws std::system_error.
  void Stop();
  bool IsStopped() override;
  // Workers that exist now.
  size_t WorkerCount();

 private:
  void WorkerLoop(uint32_t index);

  std::list<std::shared_ptr<IThreadTask>> runningTasks_;
  std::mutex runningMutex_;
  std::list<std::shared_ptr<IThreadTask>> pendingTasks_;
  std::mutex pendingMutex_;
  std::mutex waitMutex_;
  std::vector<std::thread> threads_;
  std::atomic<bool> running_{false};
  std::condition_variable wakeUp_;
  uint32_t threadCount_;
  // Keeps a Start and a Stop on different threads from overlapping on the
  // thread list; workers never take it.
  std::mutex lifecycleMutex_;
};

}  // namespace brix
