// The window resizer: keeps the controls of a resizable window in sensible
// places and sizes when the window's size changes. It records each
// control's initial rectangle and the window's initial size, gives every
// control a positional strategy (where its left and top edges go) and a
// resize strategy (how its width and height change) from an application
// strategy and the control's type, and on each size change lays every
// control out relative to its parent's new rectangle (the parent is the
// window or a control that contains the control's top-left corner).
// The window manager lists it among its components: size events (Sized,
// Maximized, Restored) lay the window out again.
// Not copyable.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/window_component.h"

namespace ck {

namespace ui {
class Window;
}

// PositionalStrategy: the low byte rules the horizontal edge, the high byte
// the vertical one (the same values shifted by 8).
namespace position {
inline constexpr uint16_t Proportional = 0;  // scale the offset from the parent
inline constexpr uint16_t LockX = 1;         // keep the initial X
inline constexpr uint16_t FixRight = 2;      // keep the distance from the parent's far edge
inline constexpr uint16_t FixLeft = 4;       // keep the offset from the parent's near edge
inline constexpr uint16_t FixCenterX = 8;    // keep the offset from the parent's centre
inline constexpr uint16_t FixNearestX = 16;  // FixRight or FixLeft, whichever edge is nearer
inline constexpr uint16_t LockY = 256;
inline constexpr uint16_t FixBottom = 512;
inline constexpr uint16_t FixTop = 1024;
inline constexpr uint16_t FixCenterY = 2048;
inline constexpr uint16_t FixNearestY = 4096;
}  // namespace position

// ResizeStrategy bits.
namespace resize {
inline constexpr uint16_t LockWidth = 1;
inline constexpr uint16_t LockHeight = 2;
inline constexpr uint16_t ConstantRight = 4;        // the right edge keeps its distance
inline constexpr uint16_t ConstantBottom = 8;       // the bottom edge keeps its distance
inline constexpr uint16_t ConstantRightHalf = 16;   // half of that width change
inline constexpr uint16_t ConstantBottomHalf = 32;  // half of that height change
}  // namespace resize

struct ResizeRect {
  int32_t XPos = 0, YPos = 0, Width = 0, Height = 0;
  bool operator==(const ResizeRect&) const = default;
};

struct ResizeControl {
  int32_t ID = 0;    // control number
  int32_t Type = 0;  // control type code of the window engine
  uint8_t HasChildren = 0;
  uint16_t PositionalStrategy = 0;
  uint16_t ResizeStrategy = 0;
  ResizeRect Pos;        // initial rectangle
  int32_t ParentID = 0;  // 0: the window
};

struct ResizeMove {
  int32_t Priority = 0;  // depth below the window: parents move first
  int32_t ControlID = 0;
  int32_t Type = 0;
  ResizeRect Before, After;
};

struct ResizeWindowState {
  int32_t XPos = 0, YPos = 0, Width = 0, Height = 0;
  uint8_t Maximized = 0, Iconized = 0;
};

// The default strategies of a control type under an application strategy
// (1, 2 or 3; any other value keeps every control where it is).
void DefaultStrategies(int appStrategy, int type, uint16_t* positional, uint16_t* resizeStrategy);

class WindowResizer : public WindowComponent {
 public:
  WindowResizer() = default;
  ~WindowResizer() override = default;
  WindowResizer(const WindowResizer&) = delete;
  WindowResizer& operator=(const WindowResizer&) = delete;

  // Records the window and its controls (Reset); with strategy 2 works out
  // the parents; with setMinSize / setMaxSize the window's recorded size
  // becomes its minimum / maximum size.
  // REQUIRES: window is open and outlives the resizer's use.
  void Init(ui::Window& window, uint8_t appStrategy, bool setMinSize = false,
            bool setMaxSize = false);
  // Records the window and every control with its default strategies.
  void Reset();
  // Gives each control without a parent the first other control that
  // contains its top-left corner (never making a control its own ancestor).
  void SetParents();
  // Explicit strategies and parents for one control; false when unknown.
  bool SetStrategy(int control, uint16_t positional, uint16_t resizeStrategy);
  bool SetParent(int control, int parent);
  // Lays the controls out for the window's current size.
  void Resize();
  // The record of a control; null when unknown.
  const ResizeControl* Find(int control) const;

  // WindowComponent: size changes lay the window out again.
  void Kill() override;
  Level TakeEvent(const ComponentEvent& event) override;

  uint8_t AppStrategy = 0;
  uint8_t AutoTransparent = 0;
  ResizeWindowState OrigWin;
  std::unique_ptr<std::vector<ResizeControl>> ControlQueue;
  uint8_t DeferMoves = 0;
  ResizeRect PreviousWin;
  uint8_t ResizeCalled = 0;
  std::unique_ptr<std::vector<ResizeMove>> ResizeList;

 private:
  ResizeControl* FindMutable(int control);
  // Computes the new rectangle of ControlQueue[index] (parents first).
  ResizeRect Place(size_t index, std::vector<int>& state, std::vector<ResizeRect>& placed,
                   const ResizeRect& window);
  int Depth(const ResizeControl& c) const;

  ui::Window* win_ = nullptr;
  int minW_ = 0, minH_ = 0, maxW_ = 0, maxH_ = 0;
};

}  // namespace ck
