// The worker pool: start and stop rules, queue order, dropping and
// cancelling at Stop.
#include "threadpool.h"

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "testsignal.h"

using brix::EasyTask0;
using brix::IThreadPool;
using brix::IThreadTask;
using brix::ThreadPoolImpl;
using stattest::Signal;

namespace {

// Runs until cancelled; tells when it has started and when it has ended.
class BlockingTask : public IThreadTask {
 public:
  void SetPool(IThreadPool* pool) override { pool_ = pool; }
  void Cancel() override {
    ++cancels;
    cancel.Set();
  }
  void Run() override {
    started.Set();
    cancelledInTime = cancel.Wait();
    finished = true;
  }
  IThreadPool* pool_ = nullptr;
  Signal started, cancel;
  std::atomic<int> cancels{0};
  std::atomic<bool> cancelledInTime{false};
  std::atomic<bool> finished{false};
};

std::shared_ptr<EasyTask0> SetsWhenRun(Signal& s) {
  return std::make_shared<EasyTask0>([&s] { s.Set(); });
}

}  // namespace

TEST(ThreadPoolLifecycle, StartTwiceKeepsOneWorker) {
  ThreadPoolImpl pool(1);
  pool.Start();
  pool.Start();
  EXPECT_FALSE(pool.IsStopped());
  EXPECT_EQ(pool.WorkerCount(), 1u);
  pool.Stop();
  EXPECT_EQ(pool.WorkerCount(), 0u);
}

TEST(ThreadPoolLifecycle, StopBeforeStartAndStopTwiceDoNothing) {
  ThreadPoolImpl pool(1);
  EXPECT_TRUE(pool.IsStopped());
  pool.Stop();
  EXPECT_TRUE(pool.IsStopped());
  pool.Start();
  pool.Stop();
  pool.Stop();
  EXPECT_TRUE(pool.IsStopped());
  // Still usable after all that.
  Signal ran;
  pool.Start();
  pool.AddTask(SetsWhenRun(ran));
  EXPECT_TRUE(ran.Wait());
  pool.Stop();
}

TEST(ThreadPoolLifecycle, TaskQueuedWhileStoppedRunsAfterStart) {
  ThreadPoolImpl pool(1);
  Signal ran;
  auto task = SetsWhenRun(ran);
  EXPECT_TRUE(pool.AddTask(task));
  EXPECT_EQ(task->Pool(), &pool);
  EXPECT_FALSE(ran.IsSet());
  pool.Start();
  EXPECT_TRUE(ran.Wait());
  pool.Stop();
}

TEST(ThreadPoolOrder, ThreeTasksRunInQueueOrderOnOneWorker) {
  ThreadPoolImpl pool(1);
  std::mutex m;
  std::vector<int> order;
  std::vector<DWORD> threads;
  Signal done;
  auto record = [&](int n) {
    return std::make_shared<EasyTask0>([&, n] {
      std::lock_guard<std::mutex> lock(m);
      order.push_back(n);
      threads.push_back(GetCurrentThreadId());
      if (n == 3) done.Set();
    });
  };
  pool.Start();
  for (int n = 1; n <= 3; ++n) pool.AddTask(record(n));
  ASSERT_TRUE(done.Wait());
  pool.Stop();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(threads.size(), 3u);
  EXPECT_EQ(threads[0], threads[1]);
  EXPECT_EQ(threads[1], threads[2]);
  EXPECT_NE(threads[0], GetCurrentThreadId());
}

TEST(ThreadPoolOrder, WorkerHasComInitialised) {
  ThreadPoolImpl pool(1);
  HRESULT again = E_FAIL;
  Signal done;
  pool.Start();
  pool.AddTask(std::make_shared<EasyTask0>([&] {
    // S_FALSE: this thread's single-threaded apartment exists already.
    again = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(again)) CoUninitialize();
    done.Set();
  }));
  ASSERT_TRUE(done.Wait());
  pool.Stop();
  EXPECT_EQ(again, S_FALSE);
}

TEST(ThreadPoolStop, RunningTaskIsCancelledAndJoined) {
  ThreadPoolImpl pool(1);
  auto longTask = std::make_shared<BlockingTask>();
  pool.Start();
  pool.AddTask(longTask);
  ASSERT_TRUE(longTask->started.Wait());
  pool.Stop();
  EXPECT_EQ(longTask->cancels.load(), 1);
  EXPECT_TRUE(longTask->cancelledInTime.load());
  EXPECT_TRUE(longTask->finished.load()) << "Stop returned before the running task ended";
  EXPECT_EQ(longTask->pool_, &pool);
}

TEST(ThreadPoolStop, TaskQueuedRightBeforeStopNeverRuns) {
  ThreadPoolImpl pool(1);
  auto longTask = std::make_shared<BlockingTask>();
  std::atomic<bool> queuedRan{false};
  pool.Start();
  pool.AddTask(longTask);
  ASSERT_TRUE(longTask->started.Wait());
  pool.AddTask(std::make_shared<EasyTask0>([&] { queuedRan = true; }));
  pool.Stop();
  EXPECT_FALSE(queuedRan.load());

  // Dropped, not kept for the next start.
  Signal later;
  pool.Start();
  pool.AddTask(SetsWhenRun(later));
  ASSERT_TRUE(later.Wait());
  pool.Stop();
  EXPECT_FALSE(queuedRan.load());
}

