#include "storage/vellum/definition_stream.h"

#include "storage/vellum/entry_keys.h"

namespace ck::vellum {

using storage::FileControlBlock;

namespace {

enum class Mode { Write, Read, Verify };
// How a difference found in verify mode counts.
enum class Diff { Hard, Soft, Open };

// Key flag bits (bit 4, INDEX rather than KEY, is not compared).
constexpr uint8_t kKeyDup = 0x01, kKeyOpt = 0x02, kKeyNocase = 0x04, kKeyPrimary = 0x08,
                  kKeyIndex = 0x10;
// Component flag bit marking a descending component.
constexpr uint16_t kComponentDescending = 0x0001;
// Memo flag bits.
constexpr uint16_t kMemoBinary = 0x0002, kMemoBlob = 0x0004;

// Reads or writes one item at a time. In write and verify modes each call
// returns the declared value, in read mode the stored one, so one walk over
// the declaration serves all three modes.
class Coder {
 public:
  Coder(Mode mode, std::string_view in, std::vector<std::string>* soft)
      : mode_(mode), in_(in), soft_(soft) {}

  Mode mode() const { return mode_; }
  // The word last read from the stream (read and verify modes).
  uint16_t lastStored() const { return lastStored_; }
  bool failed() const { return malformed_ || hard_; }
  const std::string& out() const { return out_; }

  uint8_t Byte(uint8_t declared, Diff diff, const char* what, uint8_t ignored = 0) {
    if (mode_ == Mode::Write) {
      out_.push_back(static_cast<char>(declared));
      return declared;
    }
    if (!Need(1)) return declared;
    const uint8_t stored = static_cast<uint8_t>(in_[pos_++]);
    Compare((stored & ~ignored) == (declared & ~ignored), diff, what);
    return mode_ == Mode::Read ? stored : declared;
  }

  uint16_t Word(uint32_t declared32, Diff diff, const char* what, uint16_t mask = 0xFFFF) {
    const auto declared = static_cast<uint16_t>(declared32);
    if (mode_ == Mode::Write) {
      AppendLE16(out_, declared);
      return declared;
    }
    if (!Need(2)) return declared;
    const uint16_t stored = static_cast<uint16_t>(static_cast<uint8_t>(in_[pos_]) |
                                                  static_cast<uint8_t>(in_[pos_ + 1]) << 8);
    pos_ += 2;
    lastStored_ = stored;
    Compare((stored & mask) == (declared & mask), diff, what);
    return mode_ == Mode::Read ? stored : declared;
  }

  // A text; an empty declared text is written as absent when absentWhenEmpty.
  std::string Text(const std::string& declared, bool absentWhenEmpty, Diff diff,
                   const char* what) {
    if (mode_ == Mode::Write) {
      if (declared.empty()) {
        out_.push_back('\0');
        out_.push_back(absentWhenEmpty ? '\1' : '\0');
      } else {
        out_.append(declared);
        out_.push_back('\0');
      }
      return declared;
    }
    std::string stored;
    if (!Need(1)) return declared;
    if (in_[pos_] == '\0') {
      if (!Need(2)) return declared;
      pos_ += 2;  // 00 00 empty, 00 01 absent: both read as ""
    } else {
      const size_t end = in_.find('\0', pos_);
      if (end == std::string_view::npos) {
        malformed_ = true;
        return declared;
      }
      stored.assign(in_.substr(pos_, end - pos_));
      pos_ = end + 1;
    }
    Compare(stored == declared, diff, what);
    return mode_ == Mode::Read ? stored : declared;
  }

 private:
  bool Need(size_t n) {
    if (malformed_ || pos_ + n > in_.size()) {
      malformed_ = true;
      return false;
    }
    return true;
  }

  void Compare(bool same, Diff diff, const char* what) {
    if (mode_ != Mode::Verify || same) return;
    Difference(diff, what);
  }

 public:
  // Records a difference found by the caller (verify mode only).
  void Difference(Diff diff, const char* what) {
    if (mode_ != Mode::Verify) return;
    if (diff == Diff::Hard) hard_ = true;
    if (diff == Diff::Soft && soft_) soft_->push_back(what);
  }

 private:
  Mode mode_;
  std::string_view in_;
  size_t pos_ = 0;
  std::string out_;
  std::vector<std::string>* soft_;
  bool malformed_ = false;
  bool hard_ = false;
  uint16_t lastStored_ = 0;
};

bool IsTextType(uint8_t t) {
  return t == storage::STRING || t == storage::CSTRING || t == storage::PSTRING;
}

// Declared characters of a text field: its length less a length byte or terminator.
uint16_t TextCharacters(const storage::FieldDescriptor& f) {
  if (f.type == storage::STRING || f.length == 0) return static_cast<uint16_t>(f.length);
  return static_cast<uint16_t>(f.length - 1);
}

// One walk over the declaration in the coder's mode. In read mode fcb
// receives the stored declaration; otherwise fcb is only read.
int Run(Coder& c, FileControlBlock& fcb, bool decimalCheck) {
  bool anyBlob = false;
  for (const auto& m : fcb.memos) anyBlob = anyBlob || m.blob;
  const uint16_t version = c.Word(anyBlob ? 2 : 1, Diff::Open, "version");
  if (c.mode() != Mode::Write && c.failed()) return storage::BadRecErr;
  if (c.mode() == Mode::Read && version != 1 && version != 2) return storage::BadRecErr;

  const uint16_t recordLength = c.Word(fcb.recordLength, Diff::Hard, "record length");
  const uint16_t fieldCount = c.Word(fcb.fields.size(), Diff::Hard, "fields");
  const uint16_t memoCount = c.Word(fcb.memos.size(), Diff::Hard, "memos");
  const uint16_t keyCount = c.Word(fcb.keys.size(), Diff::Hard, "keys");
  if (c.failed()) return storage::BadRecErr;
  if (c.mode() == Mode::Read) {
    fcb.recordLength = recordLength;
    fcb.fields.assign(fieldCount, {});
    fcb.memos.assign(memoCount, {});
    fcb.keys.assign(keyCount, {});
  }

  for (auto& f : fcb.fields) {
    f.type = c.Byte(f.type, Diff::Hard, "field type");
    f.offset = c.Word(f.offset, Diff::Hard, "field offset");
    f.name = c.Text(f.name, false, Diff::Soft, "field name");
    f.dim = c.Word(f.dim, Diff::Open, "field dimension");
    f.length = c.Word(f.length, Diff::Hard, "field length");
    // OVER is compared as declared or not: the number we write is our own detail.
    const uint16_t over = c.Word(f.over + 1, Diff::Open, "field over");
    if ((c.lastStored() != 0) != (f.over >= 0)) c.Difference(Diff::Hard, "field over");
    if (c.mode() == Mode::Read)
      f.over = over == 0 ? -1 : (over <= fcb.fields.size() ? over - 1 : 0);
    c.Word(0, Diff::Open, "reserved");
    if (f.type == storage::DECIMAL || f.type == storage::PDECIMAL) {
      const Diff d = decimalCheck ? Diff::Hard : Diff::Soft;
      f.digits = c.Byte(f.digits, d, "decimal digits");
      f.places = c.Byte(f.places, d, "decimal places");
    }
    if (IsTextType(f.type)) {
      c.Word(TextCharacters(f), Diff::Open, "characters");
      f.picture = c.Text(f.picture, true, Diff::Soft, "picture");
    }
    if (c.failed()) return storage::BadRecErr;
  }
  for (auto& m : fcb.memos) {
    m.name = c.Text(m.name, false, Diff::Soft, "memo name");
    m.externalName = c.Text(m.externalName, true, Diff::Soft, "memo external name");
    m.size = c.Word(m.size, Diff::Hard, "memo size");
    const uint16_t flags = static_cast<uint16_t>((m.blob ? kMemoBlob : 0) | (m.binary ? kMemoBinary : 0));
    const uint16_t stored = c.Word(flags, Diff::Hard, "memo flags", kMemoBlob | kMemoBinary);
    m.blob = (stored & kMemoBlob) != 0;
    m.binary = (stored & kMemoBinary) != 0;
    if (c.failed()) return storage::BadRecErr;
  }

  for (auto& k : fcb.keys) {
    k.name = c.Text(k.name, false, Diff::Soft, "key name");
    k.externalName = c.Text(k.externalName, true, Diff::Soft, "key external name");
    const uint8_t flags = static_cast<uint8_t>(
        (k.duplicates ? kKeyDup : 0) | (k.opt ? kKeyOpt : 0) | (k.nocase ? kKeyNocase : 0) |
        (k.primary ? kKeyPrimary : 0) | (k.isIndex ? kKeyIndex : 0));
    const uint8_t stored = c.Byte(flags, Diff::Hard, "key flags", kKeyIndex);
    k.duplicates = stored & kKeyDup;
    k.opt = stored & kKeyOpt;
    k.nocase = stored & kKeyNocase;
    k.primary = stored & kKeyPrimary;
    k.isIndex = stored & kKeyIndex;
    const uint16_t components = c.Word(k.components.size(), Diff::Hard, "key components");
    if (c.failed()) return storage::BadRecErr;
    if (c.mode() == Mode::Read) k.components.assign(components, {});
    for (auto& comp : k.components) {
      const uint16_t field = c.Word(comp.field + 1, Diff::Hard, "component field");
      const uint16_t cflags = c.Word(comp.descending ? kComponentDescending : 0, Diff::Hard,
                                     "component flags", kComponentDescending);
      comp.field = static_cast<int>(field) - 1;
      comp.descending = (cflags & kComponentDescending) != 0;
      if (c.failed()) return storage::BadRecErr;
      if (comp.field < 0 || static_cast<size_t>(comp.field) >= fcb.fields.size())
        return storage::BadRecErr;
    }
  }
  return 0;
}

}  // namespace

std::string WriteDefinition(const FileControlBlock& fcb) {
  Coder c(Mode::Write, {}, nullptr);
  FileControlBlock copy;
  copy.recordLength = fcb.recordLength;
  copy.fields = fcb.fields;
  copy.memos = fcb.memos;
  copy.keys = fcb.keys;
  Run(c, copy, true);
  return c.out();
}

int ReadDefinition(std::string_view stream, FileControlBlock& fcb) {
  Coder c(Mode::Read, stream, nullptr);
  FileControlBlock decl;
  const int rc = Run(c, decl, true);
  if (rc != 0) return rc;
  fcb.recordLength = decl.recordLength;
  fcb.fields = std::move(decl.fields);
  fcb.memos = std::move(decl.memos);
  fcb.keys = std::move(decl.keys);
  return 0;
}

int VerifyDefinition(std::string_view stream, const FileControlBlock& fcb, bool decimalCheck,
                     std::vector<std::string>* soft) {
  Coder c(Mode::Verify, stream, soft);
  FileControlBlock copy;
  copy.recordLength = fcb.recordLength;
  copy.fields = fcb.fields;
  copy.memos = fcb.memos;
  copy.keys = fcb.keys;
  return Run(c, copy, decimalCheck);
}

}  // namespace ck::vellum
