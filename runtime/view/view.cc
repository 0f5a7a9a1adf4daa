#include "runtime/view/view.h"

#include <algorithm>
#include <cstring>

#include "runtime/error_state.h"
#include "storage/codes.h"
#include "storage/records.h"

namespace ck::view {
namespace {

std::string Bytes(const FieldRef& f) {
  return std::string(reinterpret_cast<const char*>(f.data()), f.length());
}

void WriteBytes(const FieldRef& f, const std::string& bytes) {
  std::memcpy(f.data(), bytes.data(), std::min<size_t>(bytes.size(), f.length()));
}

// Writes the lowest (or highest) value a key can hold into a field, so that
// positioning on a partial key value starts before (or after) every record
// that shares the given leading components.
void WriteExtreme(const FieldRef& f, bool high) {
  unsigned char* p = f.data();
  const uint32_t n = f.length();
  if (p == nullptr || n == 0) return;
  switch (f.type()) {
    case fieldtype::STRING:
      std::memset(p, high ? 0xFF : 0x00, n);
      return;
    case fieldtype::CSTRING:
      std::memset(p, high ? 0xFF : 0x00, n);
      p[n - 1] = 0;
      return;
    case fieldtype::PSTRING:
      std::memset(p, high ? 0xFF : 0x00, n);
      p[0] = high ? static_cast<unsigned char>(std::min<uint32_t>(n - 1, 255)) : 0;
      return;
    case fieldtype::SHORT:
    case fieldtype::LONG:  // little-endian two's complement
      std::memset(p, high ? 0xFF : 0x00, n);
      p[n - 1] = high ? 0x7F : 0x80;
      return;
    case fieldtype::SREAL:
      f.AssignReal(high ? 3.4e38 : -3.4e38);
      return;
    case fieldtype::REAL:
      f.AssignReal(high ? 1.7e308 : -1.7e308);
      return;
    case fieldtype::DECIMAL:  // sign nibble, then nines
      std::memset(p, 0x99, n);
      p[0] = high ? 0x09 : 0x19;
      return;
    default:  // BYTE, USHORT, ULONG, DATE, TIME: unsigned
      std::memset(p, high ? 0xFF : 0x00, n);
      return;
  }
}

const char kHex[] = "0123456789ABCDEF";

// Position values: printable bytes stand for themselves; blanks, "%", ":"
// and everything else are written %XX, so the text survives being kept in a
// space-padded field and stays short for ordinary key values.
std::string Escape(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c > 0x20 && c < 0x7F && c != '%' && c != ':') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

bool Unescape(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return false;
    const char* a = text[i + 1] != 0 ? std::strchr(kHex, text[i + 1]) : nullptr;
    const char* b = text[i + 2] != 0 ? std::strchr(kHex, text[i + 2]) : nullptr;
    if (a == nullptr || b == nullptr) return false;
    *out += static_cast<char>(((a - kHex) << 4) | (b - kHex));
    i += 2;
  }
  return true;
}

}  // namespace

View::View(storage::FileControlBlock& primary) : fcb_(primary) {
  for (const storage::FieldDescriptor& f : fcb_.fields) {
    FieldRef ref;
    if (fcb_.record != nullptr && f.offset + f.length <= fcb_.recordLength)
      ref = FieldRef(fcb_.record + f.offset, f.length, f.type, f.places);
    fields_.Add(f.name, ref);
  }
}

View::~View() { Close(); }

int View::Refuse(int code, const std::string& text) const {
  PostError(code, text, &fcb_, fcb_.name);
  return code;
}

int View::SetOrder(std::string_view text) {
  std::vector<OrderComponent> order;
  std::string reason;
  if (!ParseOrder(text, fields_, &order, &reason))
    return Refuse(kExpressionErr, "Invalid order: " + reason);
  order_ = std::move(order);
  orderText_ = std::string(text);
  key_ = KeyForOrder(order_, fcb_, &reversed_);
  start_ = Start::None;
  reading_ = false;
  hasCurrent_ = false;
  rows_.clear();
  rowsBuilt_ = false;
  return 0;
}

int View::SetFilter(std::string_view text) {
  std::string reason;
  if (!Expression::Parse(text, fields_, &filter_, &reason))
    return Refuse(kExpressionErr, "Invalid filter: " + reason);
  filterText_ = std::string(text);
  return 0;
}

int View::SetBuffer(uint32_t pageSize, uint32_t behind, uint32_t ahead, uint32_t timeout) {
  pageSize_ = pageSize;
  behind_ = behind;
  ahead_ = ahead;
  timeout_ = timeout;
  if (open_) AskReadAhead(true);
  return 0;
}

void View::AskReadAhead(bool on) {
  // A page of records and the pages ahead of it, fetched under one access
  // of the file (a driver that cannot reads one by one).
  constexpr uint32_t kDefaultRecords = 32, kMostRecords = 1000;
  const uint32_t records =
      pageSize_ == 0 ? kDefaultRecords : std::min(kMostRecords, pageSize_ * (ahead_ + 1));
  if (storage::Buffer(fcb_, on ? static_cast<int32_t>(records) : 0, timeout_) != 0) ClearError();
}

int View::Open(uint32_t mode) {
  if (open_) return Refuse(storage::IsOpenErr, std::string(storage::ErrorText(storage::IsOpenErr)));
  if (fcb_.record == nullptr || fcb_.recordLength == 0)
    return Refuse(storage::BadRecErr, std::string(storage::ErrorText(storage::BadRecErr)));
  if (!fcb_.IsOpen()) {
    const int rc = storage::Open(fcb_, mode);
    if (rc != 0) return rc;
    openedTable_ = true;
  }
  open_ = true;
  start_ = Start::None;
  reading_ = false;
  hasCurrent_ = false;
  AskReadAhead(true);
  return 0;
}

int View::Close() {
  if (!open_) return 0;
  open_ = false;
  reading_ = false;
  hasCurrent_ = false;
  rows_.clear();
  rowsBuilt_ = false;
  AskReadAhead(false);
  if (openedTable_) {
    openedTable_ = false;
    return storage::Close(fcb_);
  }
  return 0;
}

int View::FindField(const void* data) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (fields_.field(i).data() != nullptr && fields_.field(i).data() == data)
      return static_cast<int>(i);
  return -1;
}

std::vector<int> View::PositionFields() const {
  std::vector<int> out;
  if (key_ >= 0) {
    for (const storage::KeyComponent& c : fcb_.keys[static_cast<size_t>(key_)].components)
      out.push_back(c.field);
  } else {
    for (const OrderComponent& c : order_) out.push_back(c.field);
  }
  return out;
}

int View::Set(int components) {
  if (!open_) return Refuse(storage::NotOpenErr, std::string(storage::ErrorText(storage::NotOpenErr)));
  const size_t n = static_cast<size_t>(
      std::clamp(components, 0, static_cast<int>(order_.size())));
  start_ = n == 0 ? Start::First : Start::Values;
  startValues_.clear();
  for (int f : PositionFields()) startValues_.push_back(Bytes(fields_.field(static_cast<size_t>(f))));
  startCount_ = n;
  reading_ = false;
  hasCurrent_ = false;
  return 0;
}

int View::Reset(std::string_view position) {
  if (!open_) return Refuse(storage::NotOpenErr, std::string(storage::ErrorText(storage::NotOpenErr)));
  // "R<record number>" then ":<value>" per position field; text fields are
  // stored without their trailing spaces.
  while (!position.empty() && position.back() == ' ') position.remove_suffix(1);
  const std::vector<int> fields = PositionFields();
  std::vector<std::string> values;
  uint32_t recno = 0;
  bool ok = position.size() > 1 && position.front() == 'R';
  size_t i = 1;
  if (ok) {
    uint64_t r = 0;
    size_t digits = 0;
    while (i < position.size() && position[i] >= '0' && position[i] <= '9' && digits < 11) {
      r = r * 10 + static_cast<uint64_t>(position[i++] - '0');
      ++digits;
    }
    ok = digits > 0 && r <= UINT32_MAX;
    recno = static_cast<uint32_t>(r);
  }
  for (size_t k = 0; ok && k < fields.size(); ++k) {
    if (i >= position.size() || position[i] != ':') {
      ok = false;
      break;
    }
    size_t end = position.find(':', i + 1);
    if (end == std::string_view::npos) end = position.size();
    std::string bytes;
    const FieldRef& f = fields_.field(static_cast<size_t>(fields[k]));
    ok = Unescape(position.substr(i + 1, end - i - 1), &bytes) && bytes.size() <= f.length();
    if (ok && bytes.size() < f.length()) {
      if (f.type() == fieldtype::STRING) bytes.resize(f.length(), ' ');
      else ok = false;
    }
    values.push_back(std::move(bytes));
    i = end;
  }
  if (!ok || i != position.size())
    return Refuse(storage::RecordNotFoundErr, "Invalid view position");
  start_ = Start::Exact;
  startValues_ = std::move(values);
  startCount_ = startValues_.size();
  startRecno_ = recno;
  reading_ = false;
  hasCurrent_ = false;
  return 0;
}

std::string View::PositionText(uint32_t recno, const std::vector<std::string>& values) const {
  std::string out = "R" + std::to_string(recno);
  const std::vector<int> fields = PositionFields();
  for (size_t k = 0; k < fields.size() && k < values.size(); ++k) {
    std::string_view v = values[k];
    if (fields_.field(static_cast<size_t>(fields[k])).type() == fieldtype::STRING)
      while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
    out += ':' + Escape(v);
  }
  return out;
}

int View::Position(std::string* position) const {
  if (!hasCurrent_)
    return Refuse(storage::RecordNotAvailableErr,
                  std::string(storage::ErrorText(storage::RecordNotAvailableErr)));
  *position = PositionText(currentRecno_, currentValues_);
  return 0;
}

int View::CurrentPosition(std::string* position) const {
  int64_t recno = 0;
  if (const int rc = storage::Pointer(fcb_, &recno); rc != 0) return rc;
  if (recno <= 0)
    return Refuse(storage::RecordNotAvailableErr,
                  std::string(storage::ErrorText(storage::RecordNotAvailableErr)));
  std::vector<std::string> values;
  for (int f : PositionFields()) values.push_back(Bytes(fields_.field(static_cast<size_t>(f))));
  *position = PositionText(static_cast<uint32_t>(recno), values);
  return 0;
}

int View::RereadCurrent() {
  int64_t recno = 0;
  if (const int rc = storage::Pointer(fcb_, &recno); rc != 0) return rc;
  if (recno <= 0 || recno > UINT32_MAX)
    return Refuse(storage::RecordNotAvailableErr,
                  std::string(storage::ErrorText(storage::RecordNotAvailableErr)));
  return storage::GetByPointer(fcb_, static_cast<uint32_t>(recno));
}

int View::Next() { return Read(true); }
int View::Previous() { return Read(false); }

int View::Read(bool forward) {
  if (!open_) return Refuse(storage::NotOpenErr, std::string(storage::ErrorText(storage::NotOpenErr)));
  if (!reading_ && start_ == Start::None) start_ = Start::First;
  for (;;) {
    const int rc = key_ >= 0 ? ReadKeyed(forward) : ReadMemory(forward);
    if (rc != 0) {
      if (rc == storage::RecordNotAvailableErr) {
        // Past either end: the next read in the other direction starts from
        // that end again.
        reading_ = false;
        start_ = Start::First;
      }
      return rc;
    }
    if (filter_.Test()) {
      NoteCurrent();
      return 0;
    }
  }
}

void View::NoteCurrent() {
  hasCurrent_ = true;
  if (key_ >= 0) {
    int64_t p = 0;
    currentRecno_ = storage::Pointer(fcb_, &p) == 0 ? static_cast<uint32_t>(p) : 0;
  } else {
    currentRecno_ = rows_[static_cast<size_t>(cursor_)].recno;
  }
  currentValues_.clear();
  for (int f : PositionFields()) currentValues_.push_back(Bytes(fields_.field(static_cast<size_t>(f))));
}

int View::ReadKeyed(bool forward) {
  const bool driverForward = forward != reversed_;
  if (!reading_) {
    const int rc = FirstKeyed(forward);
    if (rc == 0) reading_ = true;
    return rc;
  }
  return driverForward ? storage::Next(fcb_) : storage::Previous(fcb_);
}

int View::FirstKeyed(bool forward) {
  const bool driverForward = forward != reversed_;
  const Start start = start_;
  start_ = Start::None;
  if (start == Start::First) {
    const int rc = storage::SetKey(fcb_, key_);
    if (rc != 0) return rc;
    return driverForward ? storage::Next(fcb_) : storage::Previous(fcb_);
  }
  const storage::KeyDescriptor& key = fcb_.keys[static_cast<size_t>(key_)];
  const bool partial = start == Start::Values && startCount_ < key.components.size();
  // Put the wanted key value into the buffer, position on it, and give the
  // buffer back as it was. A partial value starts before every record that
  // shares it: the components after it take the value that comes first in
  // the key (the lowest, or the highest for a descending component).
  const std::string saved(fcb_.record, fcb_.recordLength);
  for (size_t i = 0; i < key.components.size(); ++i) {
    const FieldRef& f = fields_.field(static_cast<size_t>(key.components[i].field));
    if (i < startCount_ && i < startValues_.size()) WriteBytes(f, startValues_[i]);
    else WriteExtreme(f, key.components[i].descending);
  }
  const uint32_t recno = start == Start::Exact ? startRecno_
                         : (driverForward || partial) ? 0
                                                      : UINT32_MAX;
  int rc = storage::SetKeyValuePointer(fcb_, key_, recno);
  std::memcpy(fcb_.record, saved.data(), saved.size());
  if (rc != 0) return rc;
  if (driverForward || !partial) return driverForward ? storage::Next(fcb_) : storage::Previous(fcb_);

  // Backwards from a partial value: pass over the records that share it,
  // then step back to the last of them (or the last record before them).
  // This needs no "highest value" of the remaining components, which would
  // depend on the driver's collating order.
  for (;;) {
    rc = storage::Next(fcb_);
    if (rc == storage::RecordNotAvailableErr) {
      rc = storage::SetKey(fcb_, key_);
      return rc != 0 ? rc : storage::Previous(fcb_);
    }
    if (rc != 0) return rc;
    bool same = true;
    for (size_t i = 0; i < startCount_ && same; ++i) {
      const FieldRef& f = fields_.field(static_cast<size_t>(key.components[i].field));
      const FieldRef wanted(startValues_[i].data(), f.length(), f.type(), f.places());
      same = f.Compare(wanted, key.nocase) == 0;
    }
    if (!same) return storage::Previous(fcb_);
  }
}

bool View::RowsCurrent() {
  std::string stamp;
  const int rc = storage::Send(fcb_, "CHANGES", &stamp);
  if (rc != 0) ClearError();
  if (rc != 0 || stamp.empty()) return false;  // the driver cannot tell: build again
  const bool current = rowsBuilt_ && stamp == rowsStamp_;
  rowsStamp_ = std::move(stamp);
  return current;
}

int View::BuildRows() {
  rows_.clear();
  rowsBuilt_ = false;
  int rc = storage::Set(fcb_);
  while (rc == 0) {
    rc = storage::Next(fcb_);
    if (rc != 0) break;
    int64_t p = 0;
    rc = storage::Pointer(fcb_, &p);
    if (rc != 0) break;
    Row row;
    row.recno = static_cast<uint32_t>(p);
    for (const OrderComponent& c : order_) row.values += Bytes(fields_.field(static_cast<size_t>(c.field)));
    rows_.push_back(std::move(row));
  }
  if (rc != storage::RecordNotAvailableErr) return rc;
  ClearError();
  std::stable_sort(rows_.begin(), rows_.end(), [this](const Row& a, const Row& b) {
    const int c = CompareRow(a, b.values, order_.size());
    return c != 0 ? c < 0 : a.recno < b.recno;
  });
  rowsBuilt_ = true;
  return 0;
}

int View::CompareRow(const Row& row, const std::string& values, size_t components) const {
  size_t offset = 0;
  for (size_t i = 0; i < components && i < order_.size(); ++i) {
    const OrderComponent& c = order_[i];
    const FieldRef& f = fields_.field(static_cast<size_t>(c.field));
    if (offset + f.length() > row.values.size() || offset + f.length() > values.size()) return 0;
    const FieldRef a(const_cast<char*>(row.values.data()) + offset, f.length(), f.type(), f.places());
    const FieldRef b(const_cast<char*>(values.data()) + offset, f.length(), f.type(), f.places());
    const int r = a.Compare(b, c.upper);
    if (r != 0) return c.descending ? -r : r;
    offset += f.length();
  }
  return 0;
}

size_t View::FirstRow(bool forward) const {
  const size_t n = rows_.size();
  if (start_ == Start::First || start_ == Start::None) return forward ? 0 : n - 1;
  std::string values;
  for (const std::string& v : startValues_) values += v;
  const size_t count = startCount_;
  const bool exact = start_ == Start::Exact;
  // Rows before the start: below the values (or equal with a lower record
  // number when positioning exactly).
  auto before = [&](const Row& r) {
    const int c = CompareRow(r, values, count);
    return c < 0 || (exact && c == 0 && r.recno < startRecno_);
  };
  auto atOrBefore = [&](const Row& r) {
    const int c = CompareRow(r, values, count);
    return c < 0 || (c == 0 && (!exact || r.recno <= startRecno_));
  };
  if (forward)
    return static_cast<size_t>(std::partition_point(rows_.begin(), rows_.end(), before) - rows_.begin());
  return static_cast<size_t>(std::partition_point(rows_.begin(), rows_.end(), atOrBefore) - rows_.begin()) - 1;
}

int View::ReadMemory(bool forward) {
  if (!reading_) {
    if (!RowsCurrent()) {
      if (const int rc = BuildRows(); rc != 0) return rc;
    }
    cursor_ = static_cast<long>(FirstRow(forward));
    start_ = Start::None;
    reading_ = true;
  } else {
    cursor_ += forward ? 1 : -1;
  }
  for (;;) {
    if (cursor_ < 0 || cursor_ >= static_cast<long>(rows_.size()))
      return Refuse(storage::RecordNotAvailableErr,
                    std::string(storage::ErrorText(storage::RecordNotAvailableErr)));
    const int rc = storage::GetByPointer(fcb_, rows_[static_cast<size_t>(cursor_)].recno);
    if (rc == 0) return 0;
    // A record deleted since the ordering was built is passed over.
    if (rc != storage::RecordNotFoundErr && rc != storage::RecordNotAvailableErr) return rc;
    ClearError();
    cursor_ += forward ? 1 : -1;
  }
}

}  // namespace ck::view
