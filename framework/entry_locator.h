// The entry locator of a sort order: text the user types (into an entry
// control, or on the list, whence it moves to the entry) becomes a value of
// the order's free key field, so the list jumps to the first record at or
// after it. A case-free locator upper-cases the text; for a field that
// descends in the view's order the search starts after every value that
// begins with the text (the text followed by 0xFE).
// Belongs to one thread; not copyable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "runtime/field_ref.h"

namespace ck {

namespace ui {
class Window;
}
class BrowseManager;
class ViewManager;

// The character after which the search of a descending order starts.
inline constexpr char LocatorHighChar = '\xFE';
inline constexpr size_t LocatorShadowSize = 40;

class EntryLocator {
 public:
  EntryLocator() = default;
  virtual ~EntryLocator() = default;
  EntryLocator(const EntryLocator&) = delete;
  EntryLocator& operator=(const EntryLocator&) = delete;

  // --- Virtual operations, in slot order ---
  // Lets go of the free field.
  virtual void ReleaseFreeElement();
  // The text typed so far.
  virtual std::string GetShadow();
  // Clears the typed text and binds the entry control to it.
  // REQUIRES: browse (and its window) outlive the locator's use; browse may
  // be null (the field then counts as ascending; no window).
  virtual void Init(int control, FieldRef freeElement, bool noCase, BrowseManager* browse);
  virtual void Kill() {}
  // Clears the text, binds the control again and sets the free field from
  // the empty text.
  virtual void Reset();
  // Empties the free field and the typed text.
  virtual void Clear();
  // The list's alert keys this locator needs (none).
  virtual void SetAlerts() {}
  virtual void SetShadow(std::string_view text);
  // The entry control was completed: its text becomes the located value.
  // True when the free field is then not empty (the browse locates on it).
  virtual bool TakeLocatorEntry();
  // A key pressed on the list: a character moves the focus to the entry
  // control and goes into it. Returns whether the locator took the key as
  // a located value itself (never: the entry does the locating).
  virtual bool TakeLocatorKey(int keycode);
  // Shows the typed text in the entry control.
  virtual void UpdateWindow();
  // Sets the free field from the typed text (when NOCASE upper-cased, or
  // lower-cased for an ascending case-sensitive key, whose collation puts
  // small letters first; followed by 0xFE when the field descends in the
  // view's order).
  virtual void ApplyLocatorText();

  // --- Members, in declaration order ---
  ViewManager* VIEWMANAGER = nullptr;
  BrowseManager* BROWSEMANAGER = nullptr;
  int32_t CONTROL = 0;
  FieldRef FREEELEMENT;
  uint8_t NOCASE = 0;
  std::string SHADOW;

  // The window of the entry control (the browse's).
  ui::Window* Win = nullptr;

 private:
  // The text the entry last showed or gave: a redisplay leaves what the
  // user is typing alone unless the locator's own text changed.
  std::string shown_;
};

}  // namespace ck
