#include "tools/vlutool/vlutool_table.h"

#include <cctype>
#include <cstring>

#include "runtime/code_page.h"
#include "runtime/field_ref.h"
#include "storage/codes.h"
#include "storage/records.h"

namespace ck::vlutool {

using storage::FieldDescriptor;

namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

FieldRef RefOf(const storage::FileControlBlock& fcb, const FieldDescriptor& f) {
  return FieldRef(fcb.record + f.offset, f.length, f.type, f.places);
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out = "0x";
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool FromHex(std::string_view text, std::string* out) {
  if (text.substr(0, 2) == "0x" || text.substr(0, 2) == "0X") text.remove_prefix(2);
  if (text.size() % 2 != 0) return false;
  out->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int v = 0;
    for (size_t j = i; j < i + 2; ++j) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[j])));
      if (c >= '0' && c <= '9') v = v * 16 + (c - '0');
      else if (c >= 'a' && c <= 'f') v = v * 16 + (c - 'a' + 10);
      else return false;
    }
    out->push_back(static_cast<char>(v));
  }
  return true;
}

// An OEM table stores its text in code page 437: a character that 437
// cannot hold would be stored changed, so it is refused like one that 1252
// cannot hold.
bool FitsCodePage(const storage::FileControlBlock& fcb, std::string_view text) {
  if (!fcb.oem) return true;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (OemToAnsi(AnsiToOem(byte)) != byte) return false;
  }
  return true;
}

}  // namespace

std::string TableFileName(const TableRef& ref) {
  return ref.table.empty() ? ref.file : ref.file + "\\!" + ref.table;
}

ToolTable::~ToolTable() {
  if (fcb_.IsOpen()) storage::Close(fcb_);
}

int ToolTable::Open(const TableRef& ref, bool write, std::string* error) {
  fcb_.name = TableFileName(ref);
  fcb_.owner = ref.owner;
  fcb_.encrypt = !ref.owner.empty();
  const int rc = storage::Open(fcb_, (write ? storage::ReadWrite : storage::ReadOnly) | storage::DenyNone);
  if (rc != 0) {
    *error = "cannot open " + fcb_.name + ": " + std::string(storage::ErrorText(rc)) + " (" +
             std::to_string(rc) + ")";
    return rc;
  }
  columns_.clear();
  for (size_t i = 0; i < fcb_.fields.size(); ++i)
    if (fcb_.fields[i].over < 0) columns_.push_back({Cp1252ToUtf8(fcb_.fields[i].name), static_cast<int>(i), -1});
  for (size_t i = 0; i < fcb_.memos.size(); ++i)
    columns_.push_back({Cp1252ToUtf8(fcb_.memos[i].name), -1, static_cast<int>(i)});
  return 0;
}

int ToolTable::FindColumn(std::string_view name) const {
  const std::string wanted = Upper(name);
  for (size_t i = 0; i < columns_.size(); ++i) {
    const std::string full = Upper(columns_[i].name);
    const size_t colon = full.find(':');
    if (full == wanted || (colon != std::string::npos && full.substr(colon + 1) == wanted))
      return static_cast<int>(i);
  }
  return -1;
}

void ToolTable::ClearBuffer() {
  std::memset(fcb_.record, 0, fcb_.recordLength);
  for (const FieldDescriptor& f : fcb_.fields)
    if (f.type == storage::STRING) std::memset(fcb_.record + f.offset, ' ', f.length);
  for (std::string& m : fcb_.memoValues) m.clear();
}

std::string ToolTable::Text(int c) const {
  const Column& col = columns_[c];
  if (col.memo >= 0) {
    const std::string& value = fcb_.memoValues[col.memo];
    const auto& decl = fcb_.memos[col.memo];
    return decl.binary || decl.blob ? Hex(value) : Cp1252ToUtf8(value);
  }
  const FieldDescriptor& f = fcb_.fields[col.field];
  const FieldRef ref = RefOf(fcb_, f);
  if (!ref.IsValid()) return Hex(std::string_view(fcb_.record + f.offset, f.length));
  std::string text = ref.Text();
  if (ref.IsText()) text.erase(text.find_last_not_of(' ') + 1);
  return Cp1252ToUtf8(text);
}

std::vector<std::string> ToolTable::Row() const {
  std::vector<std::string> row;
  for (size_t c = 0; c < columns_.size(); ++c) row.push_back(Text(static_cast<int>(c)));
  return row;
}

bool ToolTable::Assign(int c, std::string_view text, std::string* error) {
  const Column& col = columns_[c];
  if (col.memo >= 0) {
    const auto& decl = fcb_.memos[col.memo];
    std::string value;
    const bool ok = decl.binary || decl.blob ? FromHex(text, &value) : Utf8ToCp1252(text, &value);
    if (!ok) {
      *error = col.name + ": " + (decl.binary || decl.blob ? "not hex bytes" : "not Windows-1252 text");
      return false;
    }
    if (!decl.binary && !FitsCodePage(fcb_, value)) {
      *error = col.name + ": a character that the table's code page 437 cannot hold";
      return false;
    }
    if (!decl.blob && value.size() > decl.size) {
      *error = col.name + ": longer than its " + std::to_string(decl.size) + " bytes";
      return false;
    }
    fcb_.memoValues[col.memo] = value;
    return true;
  }
  const FieldDescriptor& f = fcb_.fields[col.field];
  const FieldRef ref = RefOf(fcb_, f);
  if (!ref.IsValid()) {
    std::string bytes;
    if (!FromHex(text, &bytes) || bytes.size() != f.length) {
      *error = col.name + ": needs " + std::to_string(f.length) + " bytes in hex";
      return false;
    }
    bytes.copy(fcb_.record + f.offset, f.length);
    return true;
  }
  std::string value;
  if (!Utf8ToCp1252(text, &value)) {
    *error = col.name + ": a character that Windows-1252 cannot hold";
    return false;
  }
  // A text longer than its field is refused rather than cut, so that what
  // is stored is what was given.
  if (ref.IsText()) {
    if (!FitsCodePage(fcb_, value)) {
      *error = col.name + ": a character that the table's code page 437 cannot hold";
      return false;
    }
    const size_t room = f.type == storage::STRING ? f.length : f.length - 1;
    if (value.size() > room) {
      *error = col.name + ": longer than its " + std::to_string(room) + " characters";
      return false;
    }
  }
  if (!ref.Assign(value)) {
    *error = col.name + ": '" + std::string(text) + "' is not a value of this field";
    return false;
  }
  return true;
}

}  // namespace ck::vlutool
