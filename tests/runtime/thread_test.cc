#include "runtime/thread.h"

#include <pthread.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ck {
namespace {

// Records what ran on which thread, in order.
struct Journal {
  std::mutex mutex;
  std::map<int, std::vector<std::string>> byThread;
  void Add(const std::string& what) {
    std::lock_guard<std::mutex> lock(mutex);
    byThread[ThreadNumber()].push_back(what);
  }
};

class ThreadTest : public ::testing::Test {
 protected:
  void TearDown() override {
    WaitForThreads();
    SetThreadHooks({}, {});
  }
};

TEST_F(ThreadTest, HooksFrameEveryProcedureIncludingTheFirst) {
  Journal journal;
  SetThreadHooks([&] { journal.Add("start"); }, [&] { journal.Add("end"); });
  std::vector<int> started;
  int first = 0;
  ASSERT_TRUE(RunFirstThread([&] {
    first = ThreadNumber();
    journal.Add("program");
    for (int i = 0; i < 2; ++i) {
      started.push_back(StartThread([&] { journal.Add("procedure"); }, 50000));
    }
  }));
  EXPECT_EQ(RunningThreads(), 0);  // RunFirstThread waited for all of them
  ASSERT_EQ(started.size(), 2u);
  EXPECT_NE(first, 0);
  EXPECT_NE(started[0], 0);
  EXPECT_NE(started[0], started[1]);
  EXPECT_EQ(journal.byThread[first], (std::vector<std::string>{"start", "program", "end"}));
  for (int n : started) {
    EXPECT_EQ(journal.byThread[n], (std::vector<std::string>{"start", "procedure", "end"})) << n;
  }
  EXPECT_EQ(journal.byThread.count(0), 0u);  // nothing ran on the test's own thread
  EXPECT_EQ(ThreadNumber(), 0);
}

TEST_F(ThreadTest, AfterEndRunsOnTheFirstThreadLast) {
  Journal journal;
  SetThreadHooks({}, [&] { journal.Add("end"); });
  std::atomic<bool> done{false};
  int n = StartFirstThread([&] { journal.Add("program"); },
                           [&] { journal.Add("after"); done = true; });
  ASSERT_NE(n, 0);
  WaitForThreads();
  EXPECT_TRUE(done);
  EXPECT_EQ(journal.byThread[n], (std::vector<std::string>{"program", "end", "after"}));
}

TEST_F(ThreadTest, WaitForThreadsWaitsForLateStarters) {
  std::atomic<int> finished{0};
  StartThread([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    StartThread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      ++finished;
    });
    ++finished;
  });
  WaitForThreads();
  EXPECT_EQ(finished, 2);
  EXPECT_EQ(RunningThreads(), 0);
}

size_t OwnStackSize() {
  pthread_attr_t attr;
  size_t size = 0;
  if (pthread_getattr_np(pthread_self(), &attr) == 0) {
    pthread_attr_getstacksize(&attr, &size);
    pthread_attr_destroy(&attr);
  }
  return size;
}

// Uses about depth * 64 KiB of stack.
int Deep(int depth) {
  volatile char frame[64 * 1024];
  frame[0] = static_cast<char>(depth);
  frame[sizeof frame - 1] = frame[0];
  return depth == 0 ? frame[sizeof frame - 1] : Deep(depth - 1) + 1 + (frame[0] & 0);
}

TEST_F(ThreadTest, RequestedStackSizeIsHonoured) {
  std::atomic<size_t> big{0}, small{0};
  std::atomic<int> result{-1};
  // 48 MiB of recursion: far beyond the usual 8 MiB default.
  StartThread([&] { big = OwnStackSize(); result = Deep(768); }, size_t{64} << 20);
  StartThread([&] { small = OwnStackSize(); }, 50000);  // a small request is a minimum
  WaitForThreads();
  EXPECT_GE(big, size_t{64} << 20);
  EXPECT_EQ(result, 768);
  EXPECT_GE(small, MinimumThreadStack());
}

TEST(HaltDeathTest, ShowsTheTextThroughTheHandlerAndExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        SetHaltHandler([](std::string_view text) {
          std::fprintf(stderr, "shown: %.*s\n", static_cast<int>(text.size()), text.data());
        });
        Halt("Incorrect Password! This program will be terminated.", 9);
      },
      ::testing::ExitedWithCode(9), "shown: Incorrect Password! This program will be terminated.");
  EXPECT_EXIT(Halt("plain", 3), ::testing::ExitedWithCode(3), "plain");
  // Registered flushes run after the text, a removed one does not.
  EXPECT_EXIT(
      {
        RemoveHaltFlush(AddHaltFlush([] { std::fputs("removed\n", stderr); }));
        AddHaltFlush([] { std::fputs("flushed\n", stderr); });
        Halt("text", 2);
      },
      ::testing::ExitedWithCode(2), "^text\nflushed\n$");
  EXPECT_EXIT(Halt("", 0), ::testing::ExitedWithCode(0), "");
}

TEST(HaltDeathTest, FromAnotherThreadAndFromTheHandler) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        StartThread([] { Halt("from a procedure", 7); });
        WaitForThreads();
        std::_Exit(0);  // not reached when the halt works
      },
      ::testing::ExitedWithCode(7), "from a procedure");
  EXPECT_EXIT(
      {
        SetHaltHandler([](std::string_view) { Halt("again", 4); });
        Halt("first", 5);
      },
      ::testing::ExitedWithCode(4), "");
  EXPECT_EXIT(
      {
        StartThread([] { throw std::runtime_error("boom"); });
        WaitForThreads();
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(1), "Unhandled exception in thread [0-9]+: boom");
}

}  // namespace
}  // namespace ck
