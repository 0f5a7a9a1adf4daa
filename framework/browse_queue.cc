#include "framework/browse_queue.h"

#include <algorithm>

#include "ui/window.h"

namespace ck {

void StandardBehavior::Init(ui::Window& window, int listControl, std::vector<std::string> columnNames) {
  window_ = &window;
  control_ = listControl;
  LC = listControl;
  columnNames_ = std::move(columnNames);
  rows_.clear();
  buffer_ = {};
  fetched_ = 0;
}

int StandardBehavior::Records() const { return static_cast<int>(rows_.size()); }

void StandardBehavior::Append(const BrowseRow& row) { rows_.push_back(row); }

void StandardBehavior::Insert(int n, const BrowseRow& row) {
  const int at = std::clamp(n, 1, Records() + 1);
  rows_.insert(rows_.begin() + (at - 1), row);
  if (fetched_ >= at) ++fetched_;
}

bool StandardBehavior::Fetch(int n) {
  if (n < 1 || n > Records()) return false;
  buffer_ = rows_[static_cast<size_t>(n - 1)];
  fetched_ = n;
  return true;
}

void StandardBehavior::Update() {
  if (fetched_ >= 1 && fetched_ <= Records()) rows_[static_cast<size_t>(fetched_ - 1)] = buffer_;
}

void StandardBehavior::Delete() {
  if (fetched_ < 1 || fetched_ > Records()) return;
  rows_.erase(rows_.begin() + (fetched_ - 1));
  fetched_ = 0;
}

void StandardBehavior::Free() {
  rows_.clear();
  fetched_ = 0;
}

std::string StandardBehavior::Who(int n) const {
  if (n < 1 || n > static_cast<int>(columnNames_.size())) return {};
  return columnNames_[static_cast<size_t>(n - 1)];
}

std::string StandardBehavior::GetViewPosition() const { return buffer_.VIEWPOSITION; }

void StandardBehavior::SetViewPosition(std::string position) {
  if (position.size() > ViewPositionSize) position.resize(ViewPositionSize);
  buffer_.VIEWPOSITION = std::move(position);
}

int StandardBehavior::Choice() const { return window_ != nullptr ? window_->Choice(control_) : 0; }

int StandardBehavior::Items() const { return window_ != nullptr ? window_->VisibleRows(control_) : 0; }

bool StandardBehavior::GetVisible() const {
  return window_ != nullptr && window_->Visible(control_) && !window_->Minimized();
}

void StandardBehavior::SetChoice(int n) {
  if (window_ != nullptr) window_->SetChoice(control_, n);
}

}  // namespace ck
