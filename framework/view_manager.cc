#include "framework/view_manager.h"

#include <algorithm>

#include "framework/error_manager.h"
#include "framework/file_manager.h"
#include "framework/relation_manager.h"
#include "runtime/expression.h"
#include "runtime/fixed_string.h"
#include "runtime/regex_match.h"
#include "runtime/view/view.h"
#include "storage/codes.h"

namespace ck {
namespace {

constexpr size_t kFilterLimit = 5000;
constexpr size_t kOrderLimit = 512;
constexpr size_t kFieldNameLimit = 100;

bool Blank(std::string_view text) { return IsBlank(text); }

// The value of a range pair as the filter text writes it.
std::string ValueText(const RangePair& pair) {
  if (!pair.LEFT.IsText()) return pair.RIGHT.Text();
  std::string quoted = QuoteText(ClipTrailing(pair.RIGHT.Text()));
  if (pair.NAME.find("UPPER(") != std::string::npos) return "UPPER(" + quoted + ")";
  return quoted;
}

}  // namespace

ViewManager::ViewManager() = default;
ViewManager::~ViewManager() = default;

void ViewManager::Init(view::View& view, RelationManager& primary, SortOrderList* orders) {
  VIEW = &view;
  PRIMARY = &primary;
  if (orders != nullptr) {
    ORDER = orders;
    DISPOSEORDER = 0;
  } else {
    ownOrders_ = std::make_unique<SortOrderList>();
    ORDER = ownOrders_.get();
    DISPOSEORDER = 1;
  }
  OPENED = 0;
}

SortOrder* ViewManager::CurrentOrder() const {
  if (ORDER == nullptr || ORDER->current >= ORDER->items.size()) return nullptr;
  return ORDER->items[ORDER->current].get();
}

Level ViewManager::Report(int id) {
  if (PRIMARY == nullptr || PRIMARY->Me == nullptr) return level::Program;
  return PRIMARY->Me->Throw(id);
}

std::string ViewManager::FieldName(const FieldRef& field) const {
  if (VIEW == nullptr || field.data() == nullptr) return {};
  const int i = VIEW->FindField(field.data());
  if (i < 0) return {};
  return VIEW->Fields().name(static_cast<size_t>(i)).substr(0, kFieldNameLimit);
}

// --- Order texts ------------------------------------------------------------

int ViewManager::AddOrder(std::unique_ptr<SortOrder> order, int key) {
  order->MAINKEY = key;
  const storage::FileControlBlock* fcb =
      PRIMARY != nullptr && PRIMARY->Me != nullptr ? PRIMARY->Me->File : nullptr;
  if (fcb != nullptr && key >= 0 && static_cast<size_t>(key) < fcb->keys.size()) {
    const storage::KeyDescriptor& k = fcb->keys[static_cast<size_t>(key)];
    std::string text;
    for (const storage::KeyComponent& c : k.components) {
      const storage::FieldDescriptor& f = fcb->fields[static_cast<size_t>(c.field)];
      std::string name = f.name;
      // A case-free key orders its text fields without regard to case.
      if (k.nocase && (f.type == storage::STRING || f.type == storage::CSTRING ||
                       f.type == storage::PSTRING))
        name = "UPPER(" + name + ")";
      if (!text.empty()) text += ',';
      text += (c.descending ? "-" : "") + name;
    }
    if (text.size() > kOrderLimit) text.resize(kOrderLimit);
    if (!k.components.empty()) {
      const storage::FieldDescriptor& f = fcb->fields[static_cast<size_t>(k.components[0].field)];
      if (fcb->record != nullptr)
        order->FREEELEMENT = FieldRef(fcb->record + f.offset, f.length, f.type, f.places);
    }
    if (!text.empty()) order->ORDER = std::make_unique<std::string>(std::move(text));
  }
  ORDER->items.push_back(std::move(order));
  return static_cast<int>(ORDER->items.size());
}

int ViewManager::AddKeyOrder(int key) { return AddOrder(std::make_unique<SortOrder>(), key); }

void ViewManager::ReplaceOrderText(std::string_view text) {
  SortOrder* order = CurrentOrder();
  if (order == nullptr) return;
  order->ORDER.reset();
  if (!Blank(text)) order->ORDER = std::make_unique<std::string>(text);
}

void ViewManager::ExtendOrderText(std::string_view text) {
  SortOrder* order = CurrentOrder();
  if (order == nullptr) return;
  if (order->ORDER == nullptr) {
    ReplaceOrderText(text);
  } else if (!Blank(text) && text.front() == '*') {
    ReplaceOrderText(text.substr(1));
  } else {
    ReplaceOrderText(*order->ORDER + "," + std::string(text));
  }
}

void ViewManager::ApplyOrderText() {
  SortOrder* order = CurrentOrder();
  if (VIEW == nullptr) return;
  const std::string text = order != nullptr && order->ORDER != nullptr ? *order->ORDER : "";
  if (VIEW->SetOrder(text) != 0) Report(msg::ViewOpenFailed);
}

bool ViewManager::SelectOrder(int n) {
  if (ORDER == nullptr) return false;
  if (n <= 0) n = 1;
  const size_t index = static_cast<size_t>(n - 1);
  if (index == ORDER->current || index >= ORDER->items.size()) return false;
  ORDER->current = index;
  return true;
}

bool ViewManager::FieldAscendsInOrder(const FieldRef& field) const {
  const std::string name = FieldName(field);
  if (name.empty() || VIEW == nullptr) return true;
  const std::string& order = VIEW->Order();
  long at = RegexMatch("{{{[+-]}{" + name + "}[,]}|{{[+-]}{" + name + "}$}}", order);
  if (at < 0) at = RegexMatch("{{{[+-]}{UPPER(" + name + ")}[,]}|{{[+-]}{UPPER(" + name + ")}$}}", order);
  if (at < 0) return true;
  return order[static_cast<size_t>(at)] == '+';
}

bool ViewManager::OrderKeyKeepsCase() const {
  const SortOrder* order = CurrentOrder();
  const storage::FileControlBlock* fcb =
      PRIMARY != nullptr && PRIMARY->Me != nullptr ? PRIMARY->Me->File : nullptr;
  if (order == nullptr || fcb == nullptr || order->MAINKEY < 0 ||
      static_cast<size_t>(order->MAINKEY) >= fcb->keys.size())
    return false;
  return !fcb->keys[static_cast<size_t>(order->MAINKEY)].nocase;
}

// --- Range and filter -------------------------------------------------------

int ViewManager::ComponentCount() const {
  const SortOrder* order = CurrentOrder();
  if (order == nullptr) return 0;
  const storage::FileControlBlock* fcb =
      PRIMARY != nullptr && PRIMARY->Me != nullptr ? PRIMARY->Me->File : nullptr;
  if (fcb != nullptr && order->MAINKEY >= 0 && static_cast<size_t>(order->MAINKEY) < fcb->keys.size())
    return static_cast<int>(fcb->keys[static_cast<size_t>(order->MAINKEY)].components.size());
  if (order->ORDER == nullptr || Blank(*order->ORDER)) return 0;
  return static_cast<int>(std::count(order->ORDER->begin(), order->ORDER->end(), ',')) + 1;
}

void ViewManager::AddRange(FieldRef field, FieldRef limit) {
  SortOrder* order = CurrentOrder();
  if (order == nullptr) return;
  RangePair pair{field, limit, FieldName(field)};
  const storage::FileControlBlock* fcb =
      PRIMARY != nullptr && PRIMARY->Me != nullptr ? PRIMARY->Me->File : nullptr;
  if (fcb != nullptr && order->MAINKEY >= 0 &&
      static_cast<size_t>(order->MAINKEY) < fcb->keys.size() &&
      fcb->keys[static_cast<size_t>(order->MAINKEY)].nocase && field.IsText())
    pair.NAME = "UPPER(" + pair.NAME + ")";
  order->RANGELIST.push_back(std::move(pair));
  if (order->LIMITTYPE == limittype::None) order->LIMITTYPE = limittype::Equal;
  // The free element moves to the component after the limited ones.
  const int free = FreeComponentIndex();
  if (free > 0 && fcb != nullptr && order->MAINKEY >= 0 && fcb->record != nullptr) {
    const storage::KeyDescriptor& k = fcb->keys[static_cast<size_t>(order->MAINKEY)];
    const storage::FieldDescriptor& f = fcb->fields[static_cast<size_t>(k.components[free - 1].field)];
    order->FREEELEMENT = FieldRef(fcb->record + f.offset, f.length, f.type, f.places);
  } else if (free == 0) {
    order->FREEELEMENT = FieldRef();
  }
}

void ViewManager::AddRange(FieldRef field, FieldRef low, FieldRef high) {
  SortOrder* order = CurrentOrder();
  if (order == nullptr) return;
  order->LIMITTYPE = limittype::Between;
  AddRange(field, low);
  AddRange(field, high);
}

std::string ViewManager::FilterText() const {
  const SortOrder* order = CurrentOrder();
  if (order == nullptr) return {};
  std::string text;
  const std::vector<RangePair>& pairs = order->RANGELIST;
  const size_t n = pairs.size();
  auto clause = [&](const RangePair& p, std::string_view op, const RangePair& value) {
    if (!text.empty()) text += " AND ";
    text += p.NAME;
    text += op;
    text += ValueText(value);
  };
  const uint8_t type = order->LIMITTYPE;
  if (type == 1 || type == 2 || type == 4) {
    for (const RangePair& p : pairs) clause(p, " = ", p);
  } else if (type == limittype::Between && n >= 2) {
    for (size_t i = 0; i + 2 < n; ++i) clause(pairs[i], " = ", pairs[i]);
    clause(pairs[n - 2], " >= ", pairs[n - 2]);
    text += " AND ";
    text += pairs[n - 2].NAME + " <= " + ValueText(pairs[n - 1]);
  }
  if (order->FILTER != nullptr) {
    for (const FilterGroup& g : *order->FILTER) {
      text += text.empty() ? "(" : " AND (";
      text += g.FILTER;
      text += ')';
    }
  }
  if (text.size() > kFilterLimit) text.resize(kFilterLimit);
  return text;
}

void ViewManager::ApplyRangeAndFilter() {
  if (VIEW == nullptr) return;
  if (VIEW->SetFilter(FilterText()) != 0) Report(msg::ViewOpenFailed);
}

bool ViewManager::RangeChanged() {
  const SortOrder* order = CurrentOrder();
  std::string seen;
  if (order != nullptr) {
    for (const RangePair& p : order->RANGELIST) {
      seen += p.RIGHT.Text();
      seen += '\0';
    }
  }
  const bool changed = seen != rangeSeen_;
  rangeSeen_ = std::move(seen);
  return changed;
}

void ViewManager::SetFilterGroup(std::string_view text) { SetFilterGroup(text, StandardFilterId); }

void ViewManager::SetFilterGroup(std::string_view text, std::string_view id) {
  SortOrder* order = CurrentOrder();
  if (order == nullptr) return;
  if (order->FILTER == nullptr) order->FILTER = std::make_unique<std::vector<FilterGroup>>();
  std::vector<FilterGroup>& groups = *order->FILTER;
  const std::string key(id.substr(0, 30));
  auto it = std::find_if(groups.begin(), groups.end(), [&](const FilterGroup& g) { return g.ID == key; });
  if (Blank(text)) {
    if (it != groups.end()) groups.erase(it);
    return;
  }
  if (it != groups.end()) {
    it->FILTER = std::string(text);
    return;
  }
  auto at = std::upper_bound(groups.begin(), groups.end(), key,
                             [](const std::string& k, const FilterGroup& g) { return k < g.ID; });
  groups.insert(at, FilterGroup{key, std::string(text)});
}

// --- Free key component -----------------------------------------------------

int ViewManager::FreeComponentIndex() {
  const SortOrder* order = CurrentOrder();
  if (order == nullptr) return 0;
  int n = static_cast<int>(order->RANGELIST.size());
  if (order->LIMITTYPE != limittype::Between) ++n;
  return n > ComponentCount() ? 0 : n;
}

bool ViewManager::HasFreeComponent() { return FreeComponentIndex() > 0; }

std::string ViewManager::FreeComponentName() {
  const SortOrder* order = CurrentOrder();
  if (order == nullptr || FreeComponentIndex() == 0) return {};
  return FieldName(order->FREEELEMENT);
}

// --- Opening, reading -------------------------------------------------------

Level ViewManager::OpenView() {
  if (VIEW == nullptr) return level::Program;
  if (!OPENED) {
    // The table opens through its file manager (its mode, recovery and messages).
    if (PRIMARY != nullptr && PRIMARY->Me != nullptr && PRIMARY->Me->UseFile() != level::Benign)
      return level::Fatal;
    const int rc = VIEW->Open(view::kViewOpenMode);
    if (rc == 0) {
      OPENED = 1;
    } else if (rc != storage::IsOpenErr) {
      Report(msg::ViewOpenFailed);
      return level::Notify;
    }
  }
  VIEW->SetBuffer(PAGESIZE, PAGESBEHIND, PAGESAHEAD, TIMEOUT);
  ApplyOrderText();
  ApplyRangeAndFilter();
  return level::Benign;
}

Level ViewManager::ResetView(int n) {
  if (VIEW == nullptr) return level::Program;
  if (!VIEW->IsOpen()) {
    const Level opened = OpenView();
    if (opened != level::Benign) return opened;
  }
  if (VIEW->Set(n) != 0) {
    Report(msg::ViewOpenFailed);
    return level::Notify;
  }
  return level::Benign;
}

Level ViewManager::ResetView() { return ResetView(0); }

Level ViewManager::ResetFromRange(bool atEnd) { return ResetView(PrimeRange(atEnd)); }

int ViewManager::PrimeRange(bool atEnd) {
  const SortOrder* order = CurrentOrder();
  if (order == nullptr) return 0;
  const std::vector<RangePair>& pairs = order->RANGELIST;
  const size_t n = pairs.size();
  const uint8_t type = order->LIMITTYPE;
  int components = 0;
  if (type == 1 || type == 2 || type == 4) {
    for (const RangePair& p : pairs) p.LEFT.Assign(p.RIGHT);
    components = static_cast<int>(n);
  } else if (type == limittype::Between && n >= 2) {
    for (size_t i = 0; i + 2 < n; ++i) pairs[i].LEFT.Assign(pairs[i].RIGHT);
    pairs[n - 2].LEFT.Assign(atEnd ? pairs[n - 1].RIGHT : pairs[n - 2].RIGHT);
    components = static_cast<int>(n - 1);
  }
  return components;
}

Level ViewManager::ReadNext() { return Read(true); }
Level ViewManager::ReadPrevious() { return Read(false); }

Level ViewManager::Read(bool forward) {
  if (VIEW == nullptr) return level::Program;
  for (;;) {
    const int rc = forward ? VIEW->Next() : VIEW->Previous();
    if (rc == storage::RecordNotAvailableErr) return level::Notify;
    if (rc != 0) {
      Report(msg::RetrievalError);
      return level::Fatal;
    }
    const int valid = ValidateRecord();
    if (valid == 0) return level::Benign;
    if (valid == 1) return level::Notify;
  }
}

int ViewManager::ValidateRecord() { return 0; }

// --- Buffers, closing -------------------------------------------------------

void ViewManager::SaveViewBuffers() {
  if (PRIMARY != nullptr && PRIMARY->Me != nullptr) SAVEDBUFFERS.push_back(PRIMARY->Me->SaveBuffer());
}

void ViewManager::RestoreViewBuffers() {
  if (PRIMARY != nullptr && PRIMARY->Me != nullptr)
    for (auto it = SAVEDBUFFERS.rbegin(); it != SAVEDBUFFERS.rend(); ++it) PRIMARY->Me->RestoreBuffer(*it);
  SAVEDBUFFERS.clear();
}

void ViewManager::CloseView() {
  if (VIEW != nullptr) VIEW->Close();
  OPENED = 0;
}

void ViewManager::Close() { Close(false); }

void ViewManager::Close(bool force) {
  if (OPENED || force) CloseView();
}

void ViewManager::Kill() {
  Close();
  SAVEDBUFFERS.clear();
  if (DISPOSEORDER && ownOrders_ != nullptr) ownOrders_->items.clear();
}

}  // namespace ck
