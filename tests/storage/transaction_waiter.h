// Lets a test wait until another thread is blocked on the transaction lock,
// instead of sleeping and hoping it got there. Not copyable.
#pragma once

#include <chrono>
#include <future>
#include <mutex>

#include "storage/driver.h"

namespace ck::storage::testing {

class TransactionWaiter {
 public:
  TransactionWaiter() { Arm(); }
  ~TransactionWaiter() { SetTransactionWaitHook(nullptr); }
  TransactionWaiter(const TransactionWaiter&) = delete;
  TransactionWaiter& operator=(const TransactionWaiter&) = delete;

  // True once a thread has started waiting (at most 10 s); then ready for the next.
  bool Waited() {
    const bool waited = seen_.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    Arm();
    return waited;
  }

 private:
  void Arm() {
    std::lock_guard<std::mutex> lock(mutex_);
    promise_ = std::promise<void>();
    seen_ = promise_.get_future();
    fired_ = false;
    SetTransactionWaitHook([this] {
      std::lock_guard<std::mutex> guard(mutex_);
      if (!fired_) promise_.set_value();
      fired_ = true;
    });
  }

  std::mutex mutex_;
  std::promise<void> promise_;
  std::future<void> seen_;
  bool fired_ = false;
};

}  // namespace ck::storage::testing
