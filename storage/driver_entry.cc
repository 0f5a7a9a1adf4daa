// DriverEntry: the dispatch rules every driver call goes through, the driver
// registry, and the two process-wide locks (the driver critical section and
// the transaction lock).
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>

#include "runtime/error_state.h"
#include "storage/codes.h"
#include "storage/driver.h"
#include "storage/trace.h"

namespace ck::storage {
namespace {

std::string UpperName(std::string_view name) {
  std::string upper(name);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<Driver>> drivers;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

std::mutex waitHookMutex;
std::function<void()> waitHook;

// A thread is about to wait for another thread's transaction.
void NotifyWaiting() {
  std::lock_guard<std::mutex> lock(waitHookMutex);
  if (waitHook) waitHook();
}

// The lock STARTRAN takes for its thread until ENDTRAN. Other threads' calls
// wait for it before they enter the driver critical section.
class TransactionLock {
 public:
  void Take() {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitForOwner(lock);
    held_ = true;
    owner_ = std::this_thread::get_id();
  }

  // Only the owner can give the lock up; anyone else's ENDTRAN changes nothing.
  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!held_ || owner_ != std::this_thread::get_id()) return;
    held_ = false;
    released_.notify_all();
  }

  void WaitUnlessOwner() {
    std::unique_lock<std::mutex> lock(mutex_);
    WaitForOwner(lock);
  }

 private:
  // Until no other thread holds the lock.
  void WaitForOwner(std::unique_lock<std::mutex>& lock) {
    const std::thread::id self = std::this_thread::get_id();
    auto free = [&] { return !held_ || owner_ == self; };
    if (free()) return;
    NotifyWaiting();
    released_.wait(lock, free);
  }

  std::mutex mutex_;
  std::condition_variable released_;
  bool held_ = false;
  std::thread::id owner_;
};

TransactionLock& TheTransactionLock() {
  static TransactionLock lock;
  return lock;
}

// A thread that ends while it owns the transaction lock gives it up, so its
// end cannot stop every other thread's table access for good.
struct OwnerExitGuard {
  bool owner = false;
  ~OwnerExitGuard() {
    if (owner) TheTransactionLock().Release();
  }
};

thread_local OwnerExitGuard exitGuard;

// Recursive: a driver may call back into DriverEntry on the same thread.
std::recursive_mutex& DriverSection() {
  static std::recursive_mutex section;
  return section;
}

// How deep the calling thread is inside the driver critical section. A nested
// call must not wait for the transaction lock: it already holds the section
// that the lock's owner needs.
thread_local int sectionDepth = 0;

class SectionGuard {
 public:
  SectionGuard() {
    if (sectionDepth == 0) TheTransactionLock().WaitUnlessOwner();
    DriverSection().lock();
    ++sectionDepth;
  }
  ~SectionGuard() {
    --sectionDepth;
    DriverSection().unlock();
  }
  SectionGuard(const SectionGuard&) = delete;
  SectionGuard& operator=(const SectionGuard&) = delete;
};

bool Failed(int result) { return result != 0 && result != -1; }

void Post(int result, const FileControlBlock& fcb) {
  PostError(result, std::string(ErrorText(result)), &fcb, fcb.name);
}

// Runs one call with the trace around it when the trace is on.
template <typename Body>
int Traced(int op, FileControlBlock& fcb, DriverArgs& args, Body&& body) {
  if (!TraceEnabled()) return body();
  if (op == OPEN || op == SHARE) TraceDeclaration(fcb);
  const auto start = std::chrono::steady_clock::now();
  const int result = body();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  TraceCall(op, fcb, args, result,
            std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() / 10);
  return result;
}

// Callbacks run around a call may make calls of their own; what they post
// must not replace what the caller's own call posts.
template <typename Callback>
void KeepingErrorState(Callback&& callback) {
  ErrorState saved = ThreadErrorState();
  callback();
  ThreadErrorState() = std::move(saved);
}

void DiscardState(Driver& driver, FileControlBlock& fcb) {
  driver.Destroy(fcb);
  fcb.driverState.reset();
  fcb.broken = false;
}

// Inside the critical section: discards a broken block's state, passes over
// the close of a closed file, and marks the block broken after 47 or a
// failed CREATE. A driver's own error text posted during the call
// (PostFileError, NoteSystemError) is kept beside the error code; on success
// the earlier one is left as it was.
int Dispatch(Driver& driver, int op, FileControlBlock& fcb, DriverArgs& args) {
  if (op == DESTROY) {
    DiscardState(driver, fcb);
    return 0;
  }
  if (fcb.broken) DiscardState(driver, fcb);
  if (op == CLOSE && !fcb.IsOpen()) return 0;

  ErrorState& state = ThreadErrorState();
  std::string savedCode = std::exchange(state.fileErrorCode, {});
  std::string savedText = std::exchange(state.fileErrorText, {});
  int result;
  try {
    result = driver.Call(op, fcb, args);
  } catch (const std::bad_alloc&) {
    result = InsufficientMemoryErr;
  }
  if (result == BadRecErr || (op == CREATE && Failed(result))) fcb.broken = true;

  if (Failed(result)) {
    std::string fileCode = std::move(state.fileErrorCode);
    std::string fileText = std::move(state.fileErrorText);
    Post(result, fcb);
    if (!fileCode.empty() || !fileText.empty()) PostFileError(std::move(fileCode), std::move(fileText));
  } else if (result == 0) {
    state.fileErrorCode = std::move(savedCode);
    state.fileErrorText = std::move(savedText);
  }
  return result;
}

}  // namespace

void SetTransactionWaitHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(waitHookMutex);
  waitHook = std::move(hook);
}

void WaitOutsideDriverSection(const std::function<void()>& wait) {
  if (sectionDepth != 1) {
    wait();
    return;
  }
  // The call began inside the section: it takes it again without waiting
  // for a transaction another thread started meanwhile.
  sectionDepth = 0;
  DriverSection().unlock();
  wait();
  DriverSection().lock();
  sectionDepth = 1;
}

void RegisterDriver(std::string_view name, std::shared_ptr<Driver> driver) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.drivers[UpperName(name)] = std::move(driver);
}

std::shared_ptr<Driver> FindDriver(std::string_view name) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  auto it = registry.drivers.find(UpperName(name));
  return it == registry.drivers.end() ? nullptr : it->second;
}

int DriverEntry(int op, FileControlBlock& fcb, DriverArgs& args) {
  // No view pushdown; the call is traced all the same.
  if (op == QUERY_VIEW) return Traced(op, fcb, args, [] { return 0; });

  // A pending callback runs once; it is cleared before it runs, so a
  // callback that makes a call of its own does not run again.
  if (fcb.pendingCallback) {
    std::function<void()> callback = std::move(fcb.pendingCallback);
    fcb.pendingCallback = nullptr;
    KeepingErrorState(callback);
  }

  std::shared_ptr<Driver> driver = FindDriver(fcb.driverName);
  if (!driver) {
    Post(NoDriverSupportErr, fcb);
    return NoDriverSupportErr;
  }

  // The transaction lock is taken and given up outside the section.
  if (op == STARTRAN) {
    return Traced(op, fcb, args, [] {
      TheTransactionLock().Take();
      exitGuard.owner = true;
      return 0;
    });
  }
  if (op == ENDTRAN) {
    return Traced(op, fcb, args, [] {
      TheTransactionLock().Release();
      exitGuard.owner = false;
      return 0;
    });
  }

  FileCallback* watcher = fcb.callback;
  if (watcher) KeepingErrorState([&] { watcher->BeforeOperation(op, fcb); });
  int result;
  {
    SectionGuard section;
    result = Traced(op, fcb, args, [&] { return Dispatch(*driver, op, fcb, args); });
  }
  if (watcher) KeepingErrorState([&] { watcher->AfterOperation(op, fcb, result); });
  return result;
}

}  // namespace ck::storage
