#include "runtime/thread.h"

#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define CK_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define CK_SANITIZED 1
#endif
#endif

namespace ck {
namespace {

struct Hooks {
  Procedure start;
  Procedure end;
};

// Process-wide thread bookkeeping.
struct Registry {
  std::mutex mutex;
  std::condition_variable finished;
  std::shared_ptr<const Hooks> hooks = std::make_shared<Hooks>();
  int nextNumber = 1;
  int running = 0;
  std::vector<pthread_t> ended;  // finished threads not joined yet
  std::vector<Procedure> finishedListeners;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: threads may outlive main
  return *registry;
}

thread_local int tThreadNumber = 0;

struct StartContext {
  Procedure procedure;
  Procedure afterEnd;
  std::shared_ptr<const Hooks> hooks;
  int number = 0;
};

// Runs fn; an exception is a fault of the program: its text is kept in *fault.
void RunCaught(const Procedure& fn, std::string* fault) {
  if (!fn || !fault->empty()) return;
  try {
    fn();
  } catch (const std::exception& e) {
    *fault = e.what();
    if (fault->empty()) *fault = "exception";
  } catch (...) {
    *fault = "unknown exception";
  }
}

void* ThreadMain(void* arg) {
  std::unique_ptr<StartContext> context(static_cast<StartContext*>(arg));
  tThreadNumber = context->number;
  std::string fault;
  RunCaught(context->hooks->start, &fault);
  RunCaught(context->procedure, &fault);
  std::string endFault;
  RunCaught(context->hooks->end, &endFault);  // the end hook runs even after a fault
  RunCaught(context->afterEnd, &endFault);
  if (fault.empty()) fault = endFault;
  if (!fault.empty()) {
    Halt("Unhandled exception in thread " + std::to_string(context->number) + ": " + fault, 1);
  }
  context.reset();  // what the procedure captured is gone once the thread counts as finished
  Registry& registry = TheRegistry();
  std::vector<Procedure> listeners;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    --registry.running;
    registry.ended.push_back(pthread_self());
    registry.finished.notify_all();
    listeners = registry.finishedListeners;
  }
  for (const Procedure& listener : listeners) listener();
  return nullptr;
}

// Joins the threads that have finished. REQUIRES: registry.mutex not held.
void JoinEnded() {
  Registry& registry = TheRegistry();
  std::vector<pthread_t> ended;
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    ended.swap(registry.ended);
  }
  for (pthread_t thread : ended) pthread_join(thread, nullptr);
}

int Start(Procedure procedure, Procedure afterEnd, size_t stackSize) {
  JoinEnded();
  Registry& registry = TheRegistry();
  auto context = std::make_unique<StartContext>();
  context->procedure = std::move(procedure);
  context->afterEnd = std::move(afterEnd);

  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return 0;
  size_t current = 0;
  pthread_attr_getstacksize(&attr, &current);
  size_t wanted = std::max({stackSize, MinimumThreadStack(), static_cast<size_t>(PTHREAD_STACK_MIN)});
  long page = sysconf(_SC_PAGESIZE);
  if (page > 0) wanted = (wanted + page - 1) / page * page;
  if (stackSize != 0 || current < wanted) pthread_attr_setstacksize(&attr, wanted);

  std::unique_lock<std::mutex> lock(registry.mutex);
  context->hooks = registry.hooks;
  context->number = registry.nextNumber;
  pthread_t thread;
  StartContext* raw = context.get();
  if (pthread_create(&thread, &attr, ThreadMain, raw) != 0) {
    pthread_attr_destroy(&attr);
    return 0;
  }
  context.release();  // the thread owns it now
  pthread_attr_destroy(&attr);
  ++registry.running;
  return registry.nextNumber++;
}

// Halt state: the first Halt wins.
std::atomic<bool> gHalting{false};
thread_local bool tInHalt = false;

std::mutex& HandlerMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

HaltHandler& CurrentHandler() {
  static HaltHandler* handler = new HaltHandler;
  return *handler;
}

// Registered flushes by id (guarded by HandlerMutex).
std::map<int, Procedure>& Flushes() {
  static auto* flushes = new std::map<int, Procedure>;
  return *flushes;
}
int gNextFlushId = 1;

void DefaultHaltHandler(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}

}  // namespace

size_t MinimumThreadStack() {
#ifdef CK_SANITIZED
  return size_t{8} << 20;
#else
  return size_t{2} << 20;
#endif
}

void SetThreadHooks(Procedure startHook, Procedure endHook) {
  auto hooks = std::make_shared<Hooks>(Hooks{std::move(startHook), std::move(endHook)});
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.hooks = std::move(hooks);
}

int StartThread(Procedure procedure, size_t stackSize) {
  return Start(std::move(procedure), {}, stackSize);
}

int StartFirstThread(Procedure programProcedure, Procedure afterEnd, size_t stackSize) {
  return Start(std::move(programProcedure), std::move(afterEnd), stackSize);
}

bool RunFirstThread(Procedure programProcedure, size_t stackSize) {
  if (StartFirstThread(std::move(programProcedure), {}, stackSize) == 0) return false;
  WaitForThreads();
  return true;
}

int ThreadNumber() { return tThreadNumber; }

void AddThreadFinishedListener(Procedure fn) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  registry.finishedListeners.push_back(std::move(fn));
}

int RunningThreads() {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  return registry.running;
}

void WaitForThreads() {
  Registry& registry = TheRegistry();
  int self = tThreadNumber != 0 ? 1 : 0;  // a runtime thread does not wait for itself
  {
    std::unique_lock<std::mutex> lock(registry.mutex);
    registry.finished.wait(lock, [&] { return registry.running <= self; });
  }
  JoinEnded();
}

int AddHaltFlush(Procedure flush) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  int id = gNextFlushId++;
  Flushes()[id] = std::move(flush);
  return id;
}

void RemoveHaltFlush(int id) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  Flushes().erase(id);
}

void SetHaltHandler(HaltHandler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  CurrentHandler() = std::move(handler);
}

void Halt(std::string_view text, int exitCode) {
  if (tInHalt) std::_Exit(exitCode);  // Halt from inside the handler
  if (gHalting.exchange(true)) {
    for (;;) pause();  // another thread is ending the process
  }
  tInHalt = true;
  HaltHandler handler;
  std::map<int, Procedure> flushes;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    handler = CurrentHandler();
    flushes = Flushes();
  }
  if (!text.empty()) {
    try {
      if (handler) {
        handler(text);
      } else {
        DefaultHaltHandler(text);
      }
    } catch (...) {
      DefaultHaltHandler(text);
    }
  }
  for (auto& [id, flush] : flushes) {
    try {
      if (flush) flush();
    } catch (...) {
      // A failing flush must not keep the process from ending.
    }
  }
  std::cout.flush();
  std::cerr.flush();
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace ck
