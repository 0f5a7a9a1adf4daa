// The presenter that draws nothing: it keeps the requests that procedure
// threads wait on (message boxes, popups, file and printer dialogs) until a
// script or a test answers them, and notes the standard commands it was
// handed. Thread-safe; Changed never blocks.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/presenter.h"

namespace ck::ui {

class ScriptPresenter : public Presenter {
 public:
  void Changed(const Change& change) override;
  void Ask(std::shared_ptr<Request> request) override;

  // The oldest unanswered request of that kind, waiting up to timeout; null
  // when none came. The caller answers it (Request::Answer).
  std::shared_ptr<Request> TakeRequest(Request::Kind kind, std::chrono::milliseconds timeout);
  // Standard commands handed over (Tile, Cut, Help ...) as readable lines, oldest first.
  std::deque<std::string> TakeNotes();
  // The requests still waiting for an answer, oldest first: 'message "Caption"',
  // 'popup menu', 'file dialog "Title"', 'printer setup "Print Setup"'.
  std::vector<std::string> Unanswered();

 private:
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<Request>> requests_;
  std::deque<std::string> notes_;
};

// "Tile", "Cut" ... for the transcript.
const char* StdActionName(StdAction a);

}  // namespace ck::ui
