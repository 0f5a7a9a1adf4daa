#include "framework/toolbar.h"

#include "ui/window.h"

namespace ck {

void ToolbarDispatcher::Init() {
  List = std::make_unique<std::vector<ToolbarEntry>>();
  current_ = nullptr;
}

void ToolbarDispatcher::Kill() {
  List.reset();
  current_ = nullptr;
}

void ToolbarDispatcher::AddTarget(ToolbarTarget* target, long control) {
  if (!List) Init();
  if (target == nullptr) return;
  List->push_back({control, target});
}

Level ToolbarDispatcher::SetTarget(long control) {
  if (!List) return level::Notify;
  ToolbarTarget* found = nullptr;
  for (const ToolbarEntry& e : *List) {
    if (control != 0 ? e.ID == control
                     : e.ITEM->Claims(e.ITEM->Win != nullptr ? e.ITEM->Win->Focus() : 0)) {
      found = e.ITEM;
      break;
    }
  }
  if (found == nullptr) return level::Notify;
  current_ = found;
  if (current_->Win != nullptr) EnsureToolEntries(*current_->Win);
  current_->SetTips();
  current_->DisplayButtons();
  return level::Benign;
}

void ToolbarDispatcher::DisplayButtons() {
  if (current_ != nullptr) current_->DisplayButtons();
}

Level ToolbarDispatcher::TakeEvent(const ComponentEvent& event) {
  if (current_ == nullptr || event.Event != ui::event::Accepted ||
      !toolbar::IsButton(event.Field)) {
    return level::Benign;
  }
  return current_->TakeToolbar(event.Field);
}

}  // namespace ck
