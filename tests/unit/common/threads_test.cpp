// The stop event and the worker threads: manual reset, the start gate of a
// suspended thread, joins with and without a time-out, and a forced end.
#include "threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zep {
namespace {

constexpr int kLong = 10000;  // Generous: only a failing test waits it out.

TEST(ManualResetEventTest, StaysSetUntilReset) {
  ManualResetEvent event;
  ASSERT_TRUE(event.Valid());
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.Wait(0));
  event.Set();
  // Manual reset: every waiter sees it, not just the first.
  EXPECT_TRUE(event.Wait(0));
  EXPECT_TRUE(event.Wait(10));
  EXPECT_TRUE(event.IsSet());
  event.Set();  // setting twice is harmless
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  EXPECT_FALSE(event.Wait(20));
}

TEST(ManualResetEventTest, WakesWaitersOnOtherThreads) {
  ManualResetEvent event;
  std::atomic<int> woken{0};
  std::thread a([&] {
    if (event.Wait(-1)) ++woken;
  });
  std::thread b([&] {
    if (event.Wait(kLong)) ++woken;
  });
  event.Set();
  a.join();
  b.join();
  EXPECT_EQ(2, woken.load());
}

struct Probe {
  std::atomic<bool> ran{false};
  ManualResetEvent release;
};

void RunProbe(void* argument) {
  Probe* probe = static_cast<Probe*>(argument);
  probe->ran.store(true);
  probe->release.Wait(-1);
}

TEST(WorkerThreadTest, RunsOnlyAfterResumeAndJoinsWhenDone) {
  Probe probe;
  WorkerThread thread;
  EXPECT_FALSE(thread.Created());
  EXPECT_TRUE(thread.Join(0));  // nothing to wait for
  ASSERT_TRUE(thread.CreateSuspended(&RunProbe, &probe));
  EXPECT_TRUE(thread.Created());
  EXPECT_FALSE(thread.CreateSuspended(&RunProbe, &probe));  // one per object
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(probe.ran.load());
  EXPECT_FALSE(thread.Join(20));  // suspended: not ended

  thread.Resume();
  for (int i = 0; i < kLong && !probe.ran.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(probe.ran.load());
  EXPECT_FALSE(thread.Join(20));  // still held by the probe
  probe.release.Set();
  EXPECT_TRUE(thread.Join(kLong));
  EXPECT_TRUE(thread.Join(0));
}

TEST(WorkerThreadTest, NeverResumedThreadEndsWithoutRunning) {
  Probe probe;
  {
    WorkerThread thread;
    ASSERT_TRUE(thread.CreateSuspended(&RunProbe, &probe));
  }
  EXPECT_FALSE(probe.ran.load());
  EXPECT_FALSE(WorkerThread().CreateSuspended(nullptr, nullptr));
}

TEST(WorkerThreadTest, ForcedEndLetsTheCallerGoOn) {
  // Never freed: on POSIX the thread is let go and may outlive the test.
  static Probe* probe = new Probe;
  WorkerThread thread;
  ASSERT_TRUE(thread.CreateSuspended(&RunProbe, probe));
  thread.Resume();
  EXPECT_FALSE(thread.Join(50));
  thread.ForceEnd();
  // Whether killed (Windows) or let go (POSIX), nothing is left to wait for.
  EXPECT_TRUE(thread.Join(kLong));
  probe->release.Set();
}

}  // namespace
}  // namespace zep
