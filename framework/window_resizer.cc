#include "framework/window_resizer.h"

#include <algorithm>
#include <cmath>

#include "ui/window.h"

namespace ck {

namespace {

bool OneOf(int type, std::initializer_list<int> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

// One axis of a control: the parent's rectangle before and after, the
// control's initial edge and size.
struct Axis {
  double parentPos0, parentSize0, parentPos1, parentSize1, pos0, size0;
};

// New edge and size along one axis. rule: 0, 1, 2, 4, 8 or 16 (positional);
// lock, keepFar, keepFarHalf: the resize bits of this axis.
void PlaceAxis(const Axis& a, int rule, bool lock, bool keepFar, bool keepFarHalf, int32_t* pos,
               int32_t* size) {
  const double ratio = a.parentSize0 > 0 ? a.parentSize1 / a.parentSize0 : 1.0;
  const double offset = a.pos0 - a.parentPos0;
  if (rule == position::FixNearestX) {
    const double nearGap = offset;
    const double farGap = (a.parentPos0 + a.parentSize0) - (a.pos0 + a.size0);
    rule = nearGap >= farGap ? position::FixRight : position::FixLeft;
  }
  // Distances from the far edge and the centre scale with the parent
  // unless the control keeps its size.
  const double scale = lock ? 1.0 : ratio;
  double p;
  switch (rule) {
    case position::LockX:
      p = a.pos0;
      break;
    case position::FixRight:
      p = a.parentPos1 + a.parentSize1 - (a.parentPos0 + a.parentSize0 - a.pos0) * scale;
      break;
    case position::FixLeft:
      p = a.parentPos1 + offset;
      break;
    case position::FixCenterX:
      p = a.parentPos1 + a.parentSize1 / 2 + (a.pos0 - (a.parentPos0 + a.parentSize0 / 2)) * scale;
      break;
    default:  // proportional: the offset scales inside the parent's new place
      p = a.parentPos1 + offset * ratio;
      break;
  }
  const int32_t newPos = static_cast<int32_t>(std::lround(p));
  // The far edge's change: how much the control grows to keep its far edge
  // at the same distance from the parent's far edge.
  const double farChange = offset + a.parentPos1 + a.parentSize1 - a.parentSize0 - newPos;
  double s;
  if (lock) {
    s = a.size0;
  } else if (keepFar) {
    s = a.size0 + farChange;
  } else if (keepFarHalf) {
    s = a.size0 + farChange / 2;
  } else {
    s = a.size0 * ratio;
  }
  *pos = newPos;
  *size = std::max<int32_t>(0, static_cast<int32_t>(std::lround(s)));
}

}  // namespace

void DefaultStrategies(int appStrategy, int type, uint16_t* positional, uint16_t* resizeStrategy) {
  const bool buttons = OneOf(type, {9, 12, 21});
  const bool fields = OneOf(type, {1, 2, 8, 10, 15, 16, 34});
  const bool areas = OneOf(type, {3, 4, 11, 13, 14, 37, 39});
  uint16_t p = 0, r = 0;
  switch (appStrategy) {
    case 1:
      if (buttons) {
        r = 3, p = 4112;
      } else if (fields) {
        r = OneOf(type, {8, 15, 16, 34}) ? 2 : 0;
      }
      break;
    case 2:
      if (buttons) {
        r = 3, p = 4112;
      } else if (fields) {
        r = 2, p = 1024;
      } else if (areas) {
        r = 12, p = 1028;
      }
      break;
    default:  // 3, and any value that is no strategy: everything stays
      r = 3, p = 257;
      break;
  }
  *positional = p;
  *resizeStrategy = r;
}

void WindowResizer::Init(ui::Window& window, uint8_t appStrategy, bool setMinSize,
                         bool setMaxSize) {
  win_ = &window;
  ControlQueue = std::make_unique<std::vector<ResizeControl>>();
  ResizeList = std::make_unique<std::vector<ResizeMove>>();
  AppStrategy = appStrategy;
  Reset();
  if (AppStrategy == 2) SetParents();
  minW_ = setMinSize ? OrigWin.Width : 0;
  minH_ = setMinSize ? OrigWin.Height : 0;
  maxW_ = setMaxSize ? OrigWin.Width : 0;
  maxH_ = setMaxSize ? OrigWin.Height : 0;
  if (setMinSize || setMaxSize) {
    window.ModifyWindow([&](ui::WindowModel& m) {
      if (setMinSize) m.minW = minW_, m.minH = minH_;
      if (setMaxSize) m.maxW = maxW_, m.maxH = maxH_;
    });
  }
  DeferMoves = 1;
}

void WindowResizer::Reset() {
  if (win_ == nullptr) return;
  if (!ControlQueue) ControlQueue = std::make_unique<std::vector<ResizeControl>>();
  ControlQueue->clear();
  const ui::WindowModel m = win_->Snapshot();
  OrigWin = {m.at.x, m.at.y, m.at.w, m.at.h, m.maximized, m.minimized};
  PreviousWin = {m.at.x, m.at.y, m.at.w, m.at.h};
  for (const ui::ControlModel& c : m.controls) {
    // A control the presenter places itself cannot be laid out here.
    if (c.at.x < 0 || c.at.y < 0) continue;
    const ui::Rect size = ui::DefaultSize(c);
    ResizeControl r;
    r.ID = c.feq;
    r.Type = static_cast<int32_t>(c.type);
    r.Pos = {c.at.x, c.at.y, c.at.w >= 0 ? c.at.w : size.w, c.at.h >= 0 ? c.at.h : size.h};
    r.ParentID = c.parent;
    DefaultStrategies(AppStrategy, r.Type, &r.PositionalStrategy, &r.ResizeStrategy);
    ControlQueue->push_back(r);
  }
  for (ResizeControl& r : *ControlQueue) {
    if (r.ParentID == 0) continue;
    if (ResizeControl* parent = FindMutable(r.ParentID)) {
      parent->HasChildren = 1;
    } else {
      r.ParentID = 0;  // a parent that is not laid out here is no parent
    }
  }
}

ResizeControl* WindowResizer::FindMutable(int control) {
  if (!ControlQueue) return nullptr;
  for (ResizeControl& c : *ControlQueue) {
    if (c.ID == control) return &c;
  }
  return nullptr;
}

const ResizeControl* WindowResizer::Find(int control) const {
  return const_cast<WindowResizer*>(this)->FindMutable(control);
}

void WindowResizer::SetParents() {
  if (!ControlQueue) return;
  auto isAncestor = [&](int candidate, int control) {
    // Walks candidate's parents; true when control is among them.
    for (int id = candidate, steps = 0; id != 0 && steps <= static_cast<int>(ControlQueue->size());
         ++steps) {
      if (id == control) return true;
      const ResizeControl* c = Find(id);
      id = c != nullptr ? c->ParentID : 0;
    }
    return false;
  };
  for (ResizeControl& c : *ControlQueue) {
    if (c.ParentID != 0) continue;
    for (ResizeControl& p : *ControlQueue) {
      if (p.ID == c.ID) continue;
      const bool inside = c.Pos.XPos >= p.Pos.XPos && c.Pos.XPos <= p.Pos.XPos + p.Pos.Width - 1 &&
                          c.Pos.YPos >= p.Pos.YPos && c.Pos.YPos <= p.Pos.YPos + p.Pos.Height - 1;
      if (inside && !isAncestor(p.ID, c.ID)) {
        c.ParentID = p.ID;
        p.HasChildren = 1;
        break;
      }
    }
  }
}

bool WindowResizer::SetStrategy(int control, uint16_t positional, uint16_t resizeStrategy) {
  ResizeControl* c = FindMutable(control);
  if (c == nullptr) return false;
  c->PositionalStrategy = positional;
  c->ResizeStrategy = resizeStrategy;
  return true;
}

bool WindowResizer::SetParent(int control, int parent) {
  ResizeControl* c = FindMutable(control);
  ResizeControl* p = parent != 0 ? FindMutable(parent) : nullptr;
  if (c == nullptr || (parent != 0 && p == nullptr) || parent == control) return false;
  for (const ResizeControl* up = p; up != nullptr;
       up = up->ParentID ? Find(up->ParentID) : nullptr) {
    if (up->ID == control) return false;  // would make a cycle
  }
  c->ParentID = parent;
  if (p != nullptr) p->HasChildren = 1;
  return true;
}

int WindowResizer::Depth(const ResizeControl& c) const {
  int depth = 0;
  for (const ResizeControl* up = &c;
       up->ParentID != 0 && depth <= static_cast<int>(ControlQueue->size());) {
    up = Find(up->ParentID);
    if (up == nullptr) break;
    ++depth;
  }
  return depth;
}

ResizeRect WindowResizer::Place(size_t index, std::vector<int>& state,
                                std::vector<ResizeRect>& placed, const ResizeRect& window) {
  if (state[index] == 2) return placed[index];
  state[index] = 1;
  const ResizeControl& c = (*ControlQueue)[index];
  ResizeRect parent0{0, 0, OrigWin.Width, OrigWin.Height};
  ResizeRect parent1 = window;
  if (c.ParentID != 0) {
    for (size_t i = 0; i < ControlQueue->size(); ++i) {
      if ((*ControlQueue)[i].ID == c.ParentID && state[i] != 1) {
        parent0 = (*ControlQueue)[i].Pos;
        parent1 = Place(i, state, placed, window);
        break;
      }
    }
  }
  const int horizontal = c.PositionalStrategy & 0xFF;
  const int vertical = (c.PositionalStrategy >> 8) & 0xFF;
  const uint16_t r = c.ResizeStrategy;
  ResizeRect out;
  PlaceAxis({double(parent0.XPos), double(parent0.Width), double(parent1.XPos),
             double(parent1.Width), double(c.Pos.XPos), double(c.Pos.Width)},
            horizontal, r & resize::LockWidth, r & resize::ConstantRight,
            r & resize::ConstantRightHalf, &out.XPos, &out.Width);
  PlaceAxis({double(parent0.YPos), double(parent0.Height), double(parent1.YPos),
             double(parent1.Height), double(c.Pos.YPos), double(c.Pos.Height)},
            vertical, r & resize::LockHeight, r & resize::ConstantBottom,
            r & resize::ConstantBottomHalf, &out.YPos, &out.Height);
  placed[index] = out;
  state[index] = 2;
  return out;
}

void WindowResizer::Resize() {
  if (win_ == nullptr || !ControlQueue) return;
  // A maximised window lays its controls out for the size it has.
  ui::Rect now = win_->Maximized() ? win_->ShownSize() : win_->Position();
  // The window keeps within its minimum and maximum size.
  int w = now.w, h = now.h;
  if (minW_ > 0) w = std::max(w, minW_);
  if (minH_ > 0) h = std::max(h, minH_);
  if (maxW_ > 0) w = std::min(w, maxW_);
  if (maxH_ > 0) h = std::min(h, maxH_);
  if ((w != now.w || h != now.h) && !win_->Maximized()) win_->SetPosition({-1, -1, w, h});

  // A window whose size the presenter chose has no design size to scale from.
  if (w <= 0 || h <= 0 || OrigWin.Width <= 0 || OrigWin.Height <= 0) return;
  const ResizeRect window{0, 0, w, h};
  std::vector<int> state(ControlQueue->size(), 0);
  std::vector<ResizeRect> placed(ControlQueue->size());
  if (!ResizeList) ResizeList = std::make_unique<std::vector<ResizeMove>>();
  ResizeList->clear();
  for (size_t i = 0; i < ControlQueue->size(); ++i) {
    const ResizeControl& c = (*ControlQueue)[i];
    ResizeMove move;
    move.Priority = Depth(c);
    move.ControlID = c.ID;
    move.Type = c.Type;
    move.After = Place(i, state, placed, window);
    ResizeList->push_back(move);
  }
  std::stable_sort(
      ResizeList->begin(), ResizeList->end(),
      [](const ResizeMove& a, const ResizeMove& b) { return a.Priority < b.Priority; });
  // All moves go to the window together, parents first.
  win_->ModifyWindow([&](ui::WindowModel& m) {
    for (ResizeMove& move : *ResizeList) {
      ui::ControlModel* c = m.Control(move.ControlID);
      if (c == nullptr) continue;
      move.Before = {c->at.x, c->at.y, c->at.w, c->at.h};
      c->at = {move.After.XPos, move.After.YPos, move.After.Width, move.After.Height};
    }
  });
  PreviousWin = {now.x, now.y, w, h};
  ResizeCalled = 1;
}

void WindowResizer::Kill() {
  ControlQueue.reset();
  ResizeList.reset();
  win_ = nullptr;
}

Level WindowResizer::TakeEvent(const ComponentEvent& event) {
  if (event.Event == ui::event::Sized || event.Event == ui::event::Maximized ||
      event.Event == ui::event::Restored) {
    Resize();
  }
  return level::Benign;
}

}  // namespace ck
