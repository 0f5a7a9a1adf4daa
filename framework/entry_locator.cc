#include "framework/entry_locator.h"

#include "framework/browse_manager.h"
#include "runtime/code_page.h"
#include "runtime/fixed_string.h"
#include "ui/ui_codes.h"
#include "ui/use_var.h"
#include "ui/window.h"

namespace ck {
namespace {

// The character a key code types when the event carries none (letters small
// unless Shift is held); false for keys that type none (Ctrl or Alt held,
// navigation keys).
bool TypedChar(int keycode, char* out) {
  if (keycode & (ui::key::Ctrl | ui::key::Alt)) return false;
  const bool shift = (keycode & ui::key::Shift) != 0;
  const int base = keycode & 0xFF;
  if (base >= 'A' && base <= 'Z') {
    *out = static_cast<char>(shift ? base : base + ('a' - 'A'));
    return true;
  }
  if ((base >= '0' && base <= '9' && !shift) || base == ' ') {
    *out = static_cast<char>(base);
    return true;
  }
  return false;
}

}  // namespace

void EntryLocator::ReleaseFreeElement() { FREEELEMENT = FieldRef(); }

std::string EntryLocator::GetShadow() { return SHADOW; }

void EntryLocator::Init(int control, FieldRef freeElement, bool noCase, BrowseManager* browse) {
  CONTROL = control;
  FREEELEMENT = freeElement;
  NOCASE = noCase ? 1 : 0;
  BROWSEMANAGER = browse;
  VIEWMANAGER = browse;
  Win = browse != nullptr ? browse->Win() : nullptr;
  SHADOW.clear();
  shown_.clear();
  if (Win != nullptr && CONTROL != 0) Win->Bind(CONTROL, ui::UseVar::Of(&SHADOW));
}

void EntryLocator::Reset() {
  SHADOW.clear();
  if (Win != nullptr && CONTROL != 0) Win->Bind(CONTROL, ui::UseVar::Of(&SHADOW));
  ApplyLocatorText();
}

void EntryLocator::Clear() {
  SHADOW.clear();
  FREEELEMENT.Clear();
  UpdateWindow();
}

void EntryLocator::SetShadow(std::string_view text) {
  SHADOW = std::string(text.substr(0, LocatorShadowSize));
}

bool EntryLocator::TakeLocatorEntry() {
  if (Win != nullptr && CONTROL != 0) Win->Update(CONTROL);
  SetShadow(SHADOW);
  shown_ = SHADOW;
  if (IsBlank(SHADOW)) return false;
  ApplyLocatorText();
  return !IsBlank(FREEELEMENT.Text());
}

bool EntryLocator::TakeLocatorKey(int keycode) {
  if (Win == nullptr || CONTROL == 0) return false;
  char c = Win->KeyChar();
  if (c == 0 && !TypedChar(keycode, &c)) return false;
  const ui::ControlModel entry = Win->State(CONTROL);
  if (!entry.enabled || !entry.visible || entry.readOnly) return false;
  // The entry takes the key: the typing goes on there. Its text is selected
  // as the focus arrives, so the key types over it: a new search.
  SHADOW.clear();
  Win->Display(CONTROL);
  shown_ = SHADOW;
  Win->Select(CONTROL);
  Win->PressKey(CONTROL, keycode, c);
  return false;
}

void EntryLocator::UpdateWindow() {
  if (Win == nullptr || CONTROL == 0 || SHADOW == shown_) return;
  Win->Display(CONTROL);
  shown_ = SHADOW;
}

void EntryLocator::ApplyLocatorText() {
  std::string text(ClipTrailing(SHADOW));
  const bool ascending = VIEWMANAGER == nullptr || VIEWMANAGER->FieldAscendsInOrder(FREEELEMENT);
  if (NOCASE) {
    // A case-sensitive key sorts each small letter just before its capital,
    // so the lowest spelling of the text in any case is the small one: an
    // ascending search from it lands on the first value that matches the
    // text without regard to case. Elsewhere the text is upper-cased.
    if (ascending && VIEWMANAGER != nullptr && VIEWMANAGER->OrderKeyKeepsCase())
      LowerInPlace(text.data(), text.size());
    else
      text = Upper1252(text);
  }
  if (!ascending) text += LocatorHighChar;
  FREEELEMENT.Assign(text);
  UpdateWindow();
}

}  // namespace ck
