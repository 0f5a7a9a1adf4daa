#include "tools/vlutool/vlutool_decl.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>
#include <sstream>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "runtime/code_page.h"
#include "storage/codes.h"
#include "storage/vellum/key_codec.h"

namespace ck::vlutool {

using storage::FieldDescriptor;
using storage::KeyComponent;
using storage::KeyDescriptor;
using storage::MemoDescriptor;

namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

std::vector<std::string> Words(std::string_view line) {
  std::vector<std::string> words;
  std::istringstream in{std::string(line)};
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

std::optional<uint32_t> Number(std::string_view s) {
  uint32_t v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
  return v;
}

// "NAME" or "NAME(a)" or "NAME(a,b)": the word before '(' and the numbers inside.
bool SplitCall(std::string_view word, std::string* name, std::vector<uint32_t>* args) {
  args->clear();
  const size_t open = word.find('(');
  if (open == std::string_view::npos) {
    *name = Upper(word);
    return true;
  }
  if (word.back() != ')') return false;
  *name = Upper(word.substr(0, open));
  std::string_view inside = word.substr(open + 1, word.size() - open - 2);
  while (!inside.empty()) {
    const size_t comma = inside.find(',');
    const auto n = Number(inside.substr(0, comma));
    if (!n) return false;
    args->push_back(*n);
    if (comma == std::string_view::npos) break;
    inside.remove_prefix(comma + 1);
  }
  return true;
}

// Text from the UTF-8 declaration into the 1252 bytes the file holds.
bool To1252(std::string_view utf8, std::string* out) { return Utf8ToCp1252(utf8, out); }

class Parser {
 public:
  explicit Parser(Declaration* out) : out_(out) {}

  bool Line(int number, std::string_view text, std::string* error) {
    line_ = number;
    error_ = error;
    if (const size_t hash = text.find('#'); hash != std::string_view::npos) text = text.substr(0, hash);
    std::vector<std::string> w = Words(text);
    if (w.empty()) return true;
    for (std::string& word : w) {
      std::string converted;
      if (!To1252(word, &converted)) return Fail("a character that Windows-1252 cannot hold");
      // The file keeps names as zero-ended texts: a zero byte would cut one short.
      if (converted.find('\0') != std::string::npos) return Fail("a zero byte in '" + word + "'");
      word = converted;
    }
    const std::string verb = Upper(w[0]);
    auto& fcb = out_->fcb;
    if (verb == "TABLE") {
      if (w.size() != 2) return Fail("table takes one name");
      out_->table = w[1];
    } else if (verb == "PREFIX") {
      if (w.size() != 2) return Fail("prefix takes one name");
      fcb.prefix = w[1];
    } else if (verb == "OWNER") {
      if (w.size() != 2) return Fail("owner takes one password");
      fcb.owner = w[1];
    } else if (verb == "ENCRYPT" || verb == "OEM") {
      if (w.size() != 1) return Fail(Upper(verb) + " takes nothing");
      (verb == "OEM" ? fcb.oem : fcb.encrypt) = true;
    } else if (verb == "FIELD") {
      return Field(w);
    } else if (verb == "MEMO") {
      return Memo(w);
    } else if (verb == "KEY") {
      return Key(w);
    } else {
      return Fail("unknown statement '" + w[0] + "'");
    }
    return true;
  }

  bool Finish(std::string* error) {
    error_ = error;
    line_ = 0;
    auto& fcb = out_->fcb;
    if (fcb.fields.empty()) return Fail("no fields declared");
    if (fcb.encrypt && fcb.owner.empty()) return Fail("encrypt needs an owner password");
    switch (vellum::ValidateDeclaration(fcb)) {
      case 0: return true;
      case storage::BadKeyLengthErr: return Fail("a key is too long for one entry");
      case storage::BadIndexStringErr: return Fail("a key has no components");
      default: return Fail("the record is too long for one entry or has too many keys or memos");
    }
  }

 private:
  bool Fail(const std::string& what) {
    *error_ = line_ > 0 ? "line " + std::to_string(line_) + ": " + what : what;
    return false;
  }

  // Takes name for a field, memo or key; false when it is taken already.
  // Names are kept upper-cased in a set, so a declaration reads in linear time.
  bool TakeName(std::string_view name) { return names_.insert(Upper(name)).second; }

  bool Field(const std::vector<std::string>& w) {
    if (w.size() < 3 || w.size() > 4) return Fail("field takes a name, a type and an optional picture");
    if (!TakeName(w[1])) return Fail("the name '" + w[1] + "' is declared twice");
    std::string type;
    std::vector<uint32_t> args;
    if (!SplitCall(w[2], &type, &args)) return Fail("bad type '" + w[2] + "'");
    FieldDescriptor f;
    f.name = w[1];
    struct Fixed {
      const char* name;
      uint8_t code;
      uint32_t length;
    };
    static const Fixed kFixed[] = {
        {"BYTE", storage::BYTE, 1},   {"SHORT", storage::SHORT, 2}, {"USHORT", storage::USHORT, 2},
        {"LONG", storage::LONG, 4},   {"ULONG", storage::ULONG, 4}, {"DATE", storage::DATE, 4},
        {"TIME", storage::TIME, 4},   {"SREAL", storage::SREAL, 4}, {"REAL", storage::REAL, 8},
    };
    bool known = false;
    for (const Fixed& t : kFixed) {
      if (type != t.name) continue;
      if (!args.empty()) return Fail(type + " takes no length");
      f.type = t.code;
      f.length = t.length;
      known = true;
    }
    if (type == "STRING" || type == "CSTRING" || type == "PSTRING") {
      if (args.size() != 1 || args[0] == 0) return Fail(type + " needs a length, e.g. " + type + "(20)");
      if (type == "PSTRING" && args[0] > 256) return Fail("a PSTRING holds at most 256 bytes");
      f.type = type == "STRING" ? storage::STRING : type == "CSTRING" ? storage::CSTRING : storage::PSTRING;
      f.length = args[0];
      known = true;
    } else if (type == "DECIMAL" || type == "PDECIMAL") {
      if (args.size() != 2) return Fail(type + " needs digits and places, e.g. " + type + "(9,2)");
      if (args[0] == 0 || args[0] > 31 || args[1] > args[0])
        return Fail(type + " digits must be 1..31 and places at most the digits");
      f.type = type == "DECIMAL" ? storage::DECIMAL : storage::PDECIMAL;
      f.digits = static_cast<uint8_t>(args[0]);
      f.places = static_cast<uint8_t>(args[1]);
      f.length = args[0] / 2 + 1;
      known = true;
    }
    if (!known) return Fail("unknown type '" + w[2] + "'");
    if (w.size() == 4) {
      if (w[3].size() < 2 || w[3][0] != '@')
        return Fail("'" + w[3] + "' is no picture: a picture starts with @");
      f.picture = w[3].substr(1);
    }
    auto& fcb = out_->fcb;
    f.offset = fcb.recordLength;
    if (uint64_t{fcb.recordLength} + f.length > 0xFFFF) return Fail("the record is too long");
    fcb.recordLength += f.length;
    fieldNumbers_.emplace(Upper(f.name), static_cast<int>(fcb.fields.size()));
    fcb.fields.push_back(f);
    return true;
  }

  bool Memo(const std::vector<std::string>& w) {
    if (w.size() < 3 || w.size() > 4) return Fail("memo takes a name, MEMO(size) or BLOB, and BINARY");
    if (!TakeName(w[1])) return Fail("the name '" + w[1] + "' is declared twice");
    std::string type;
    std::vector<uint32_t> args;
    if (!SplitCall(w[2], &type, &args)) return Fail("bad memo type '" + w[2] + "'");
    MemoDescriptor m;
    m.name = w[1];
    if (type == "MEMO") {
      if (args.size() != 1 || args[0] == 0 || args[0] > 0xFFFF) return Fail("MEMO needs a size of 1..65535");
      m.size = args[0];
    } else if (type == "BLOB") {
      if (!args.empty()) return Fail("BLOB takes no size");
      m.blob = true;
    } else {
      return Fail("unknown memo type '" + w[2] + "'");
    }
    if (w.size() == 4) {
      if (Upper(w[3]) != "BINARY") return Fail("unknown memo flag '" + w[3] + "'");
      m.binary = true;
    }
    out_->fcb.memos.push_back(m);
    return true;
  }

  bool Key(const std::vector<std::string>& w) {
    if (std::find(w.begin(), w.end(), ":") == w.end()) return Fail("a key needs ':' before its fields");
    if (w.size() < 4) return Fail("key takes a name, flags, ':' and its fields");
    if (!TakeName(w[1])) return Fail("the name '" + w[1] + "' is declared twice");
    KeyDescriptor k;
    k.name = w[1];
    size_t i = 2;
    for (; i < w.size() && w[i] != ":"; ++i) {
      const std::string flag = Upper(w[i]);
      if (flag == "DUP") k.duplicates = true;
      else if (flag == "NOCASE") k.nocase = true;
      else if (flag == "OPT") k.opt = true;
      else if (flag == "PRIMARY") k.primary = true;
      else if (flag == "INDEX") k.isIndex = true;
      else if (flag.rfind("NAME(", 0) == 0 && flag.back() == ')' && flag.size() > 6)
        k.externalName = w[i].substr(5, w[i].size() - 6);
      else return Fail("unknown key flag '" + w[i] + "'");
    }
    if (k.primary && k.duplicates) return Fail("a PRIMARY key cannot allow duplicates");
    for (++i; i < w.size(); ++i) {
      std::string name = w[i];
      KeyComponent c;
      if (name[0] == '-' || name[0] == '+') {
        c.descending = name[0] == '-';
        name.erase(0, 1);
      }
      const auto field = fieldNumbers_.find(Upper(name));
      if (field == fieldNumbers_.end()) return Fail("key field '" + name + "' is not declared above");
      c.field = field->second;
      k.components.push_back(c);
    }
    if (k.components.empty()) return Fail("a key needs at least one field");
    out_->fcb.keys.push_back(k);
    return true;
  }

  Declaration* out_;
  int line_ = 0;
  std::string* error_ = nullptr;
  std::unordered_set<std::string> names_;               // upper-cased names taken
  std::unordered_map<std::string, int> fieldNumbers_;   // upper-cased field name -> number
};

}  // namespace

bool ParseDeclaration(std::string_view text, Declaration* out, std::string* error) {
  *out = Declaration{};
  out->fcb.create = true;
  Parser parser(out);
  int number = 0;
  // Editors on some desktops start a UTF-8 file with a byte-order mark.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty()) {
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!parser.Line(++number, line, error)) return false;
    if (eol == std::string_view::npos) break;
    text.remove_prefix(eol + 1);
  }
  return parser.Finish(error);
}

}  // namespace ck::vlutool
