#include "ui/script/script_presenter.h"

#include <utility>

namespace ck::ui {

const char* StdActionName(StdAction a) {
  switch (a) {
    case StdAction::None: return "None";
    case StdAction::Close: return "Close";
    case StdAction::Tile: return "Tile";
    case StdAction::Cascade: return "Cascade";
    case StdAction::ArrangeIcons: return "Arrange Icons";
    case StdAction::Cut: return "Cut";
    case StdAction::Copy: return "Copy";
    case StdAction::Paste: return "Paste";
    case StdAction::PrintSetup: return "Print Setup";
    case StdAction::Help: return "Help contents";
    case StdAction::HelpSearch: return "Help search";
    case StdAction::HelpOnHelp: return "Help on help";
    case StdAction::Alert: return "Alert";
  }
  return "?";
}

void ScriptPresenter::Changed(const Change& change) {
  std::lock_guard lock(mu_);
  if (change.kind == ChangeKind::Command)
    notes_.push_back(std::string("command: ") + StdActionName(change.command));
  cv_.notify_all();
}

void ScriptPresenter::Ask(std::shared_ptr<Request> request) {
  std::lock_guard lock(mu_);
  requests_.push_back(std::move(request));
  cv_.notify_all();
}

std::shared_ptr<Request> ScriptPresenter::TakeRequest(Request::Kind kind,
                                                      std::chrono::milliseconds timeout) {
  std::unique_lock lock(mu_);
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    for (auto it = requests_.begin(); it != requests_.end(); ++it) {
      if ((*it)->kind == kind) {
        auto r = *it;
        requests_.erase(it);
        return r;
      }
    }
    if (cv_.wait_until(lock, deadline) == std::cv_status::timeout) return nullptr;
  }
}

std::vector<std::string> ScriptPresenter::Unanswered() {
  std::lock_guard lock(mu_);
  std::vector<std::string> out;
  for (const auto& r : requests_) {
    if (r->answered()) continue;
    switch (r->kind) {
      case Request::Kind::Popup: out.push_back("popup menu"); break;
      case Request::Kind::FileDialog: out.push_back("file dialog \"" + r->caption + "\""); break;
      case Request::Kind::PrinterSetup: out.push_back("printer setup \"" + r->caption + "\""); break;
      default: out.push_back("message \"" + r->caption + "\""); break;
    }
  }
  return out;
}

std::deque<std::string> ScriptPresenter::TakeNotes() {
  std::lock_guard lock(mu_);
  return std::exchange(notes_, {});
}

}  // namespace ck::ui
