#include "runtime/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "runtime/code_page.h"

namespace ck {
namespace {

// One line of the file with its own line ending ("\r\n", "\n", or "" for a
// last line without one), so that a rewrite keeps it byte for byte.
struct Line {
  std::string text;
  std::string eol;
};

enum class Kind { Blank, Comment, Section, Key, Other };

struct Parsed {
  Kind kind = Kind::Other;
  std::string_view name;   // section name or key, trimmed
  std::string_view value;  // raw value, trimmed (Key)
  size_t valueStart = 0;   // offset of the raw value in the line (Key)
};

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  size_t b = s.find_first_not_of(kBlanks);
  if (b == std::string_view::npos) return {};
  return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

std::string_view TrimEnd(std::string_view s) {
  size_t e = s.find_last_not_of(kBlanks);
  return e == std::string_view::npos ? std::string_view{} : s.substr(0, e + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Upper1252(static_cast<unsigned char>(a[i])) != Upper1252(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

Parsed ParseLine(std::string_view text, bool first) {
  const char* base = text.data();
  if (first && text.substr(0, kBom.size()) == kBom) text.remove_prefix(kBom.size());
  Parsed p;
  std::string_view t = Trim(text);
  if (t.empty()) {
    p.kind = Kind::Blank;
  } else if (t[0] == ';') {
    p.kind = Kind::Comment;
  } else if (t[0] == '[') {
    p.kind = Kind::Section;
    p.name = Trim(t.substr(1, t.find(']') == std::string_view::npos ? t.npos : t.find(']') - 1));
  } else if (size_t eq = t.find('='); eq != std::string_view::npos) {
    p.kind = Kind::Key;
    p.name = Trim(t.substr(0, eq));
    std::string_view rest = t.substr(eq + 1);
    size_t skip = rest.find_first_not_of(kBlanks);
    p.value = skip == std::string_view::npos ? std::string_view{} : rest.substr(skip);
    p.valueStart = static_cast<size_t>(p.value.data() - base);
    if (p.value.empty()) p.valueStart = static_cast<size_t>(rest.data() - base) + rest.size();
  }
  return p;
}

// The value as stored: outer matching quotes removed.
std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]) {
    v = v.substr(1, v.size() - 2);
  }
  return std::string(v);
}

// The value as written: trailing blanks dropped; quoted when reading would
// otherwise change it (leading blanks, outer quotes of its own).
std::string Quote(std::string_view value) {
  std::string_view v = TrimEnd(value);
  bool quote = !v.empty() && (kBlanks.find(v[0]) != std::string_view::npos ||
                              (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0]));
  return quote ? "\"" + std::string(v) + "\"" : std::string(v);
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Reads the file into lines. False on a read error other than a missing file
// (a missing file reads as no lines), and for anything but a regular file:
// a FIFO or a device of that name would block or never end.
bool Load(const std::string& path, std::vector<Line>* lines, bool* exists) {
  lines->clear();
  *exists = false;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR;
  *exists = true;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  std::string content;
  char buffer[8192];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  size_t pos = 0;
  while (pos < content.size()) {
    size_t nl = content.find('\n', pos);
    Line line;
    if (nl == std::string::npos) {
      line.text = content.substr(pos);
      pos = content.size();
    } else {
      size_t end = nl;
      if (end > pos && content[end - 1] == '\r') --end;
      line.text = content.substr(pos, end - pos);
      line.eol = content.substr(end, nl + 1 - end);
      pos = nl + 1;
    }
    lines->push_back(std::move(line));
  }
  return true;
}

bool WriteAll(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Writes the lines to a temporary file beside path, flushes it and renames it
// over path, keeping the old file's permissions (0600 for a new file: these
// files may hold secrets). The data is flushed before the rename, so after a
// crash the name holds the old content or the new, never a part; the folder
// is not flushed (a lost rename only means the old settings).
bool Store(const std::string& path, const std::vector<Line>& lines) {
  std::string target = path;
  struct stat st;
  mode_t mode = 0600;
  if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);  // write through the link
    if (real == nullptr) return false;
    target = real;
    std::free(real);
  }
  if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;

  static std::atomic<unsigned> counter{0};
  std::string temp = target + ".~" + std::to_string(::getpid()) + "." +
                     std::to_string(counter.fetch_add(1)) + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  std::string content;
  for (const Line& line : lines) content += line.text + line.eol;
  bool ok = WriteAll(fd, content) && ::fchmod(fd, mode) == 0 && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

// Where the lines of the first section of that name lie: [header, end).
struct SectionSpan {
  size_t header = 0;
  size_t end = 0;
  bool found = false;
};

SectionSpan FindSection(const std::vector<Line>& lines, std::string_view section, size_t from = 0) {
  SectionSpan span;
  for (size_t i = from; i < lines.size(); ++i) {
    Parsed p = ParseLine(lines[i].text, i == 0);
    if (p.kind != Kind::Section) continue;
    if (span.found) {
      span.end = i;
      return span;
    }
    if (SameName(p.name, section)) {
      span.header = i;
      span.found = true;
    }
  }
  span.end = lines.size();
  return span;
}

std::mutex& WriterMutex() {
  static std::mutex mutex;
  return mutex;
}

bool ValidSection(std::string_view section) {
  section = Trim(section);
  return !section.empty() && !HasLineBreak(section) && section.find(']') == section.npos;
}

bool ValidKey(std::string_view key) {
  key = Trim(key);
  return !key.empty() && !HasLineBreak(key) && key.find('=') == key.npos && key[0] != '[' &&
         key[0] != ';';
}

// The line ending new lines get: the file's own, else "\n".
std::string LineEnding(const std::vector<Line>& lines) {
  for (const Line& line : lines) {
    if (!line.eol.empty()) return line.eol;
  }
  return "\n";
}

}  // namespace

std::string IniPath(std::string_view file) {
  std::string path(file);
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::optional<std::string> FindIniString(const std::string& file, std::string_view section,
                                         std::string_view key) {
  std::vector<Line> lines;
  bool exists;
  if (!Load(IniPath(file), &lines, &exists)) return std::nullopt;
  section = Trim(section);
  key = Trim(key);
  SectionSpan span = FindSection(lines, section);
  if (!span.found) return std::nullopt;
  for (size_t i = span.header + 1; i < span.end; ++i) {
    Parsed p = ParseLine(lines[i].text, false);
    if (p.kind == Kind::Key && SameName(p.name, key)) return Unquote(TrimEnd(p.value));
  }
  return std::nullopt;
}

bool IniFileReadable(const std::string& file) {
  std::vector<Line> lines;
  bool exists;
  return Load(IniPath(file), &lines, &exists);
}

std::string ReadIniString(const std::string& file, std::string_view section,
                          std::string_view key, std::string_view defaultValue) {
  std::optional<std::string> value = FindIniString(file, section, key);
  return value ? *value : std::string(defaultValue);
}

long ReadIniInt(const std::string& file, std::string_view section, std::string_view key,
                long defaultValue) {
  std::optional<std::string> value = FindIniString(file, section, key);
  if (!value) return defaultValue;
  std::string_view v = Trim(*value);
  bool negative = !v.empty() && v[0] == '-';
  if (!v.empty() && (v[0] == '-' || v[0] == '+')) v.remove_prefix(1);
  if (v.empty() || v[0] < '0' || v[0] > '9') return defaultValue;
  unsigned long magnitude = 0;
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1 : LONG_MAX;
  for (size_t i = 0; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    unsigned digit = static_cast<unsigned>(v[i] - '0');
    if (magnitude > (limit - digit) / 10) return defaultValue;
    magnitude = magnitude * 10 + digit;
  }
  return negative ? static_cast<long>(0UL - magnitude) : static_cast<long>(magnitude);
}

namespace {

// Sets key in the first section of that name (creating the section), or
// removes every copy of the key from every section of that name. True when
// the lines changed.
bool ApplyEdit(std::vector<Line>* lines, std::string_view section, const IniEdit& edit) {
  std::string_view key = Trim(edit.key);
  if (!edit.value) {
    bool changed = false;
    for (SectionSpan span = FindSection(*lines, section); span.found;
         span = FindSection(*lines, section, span.end)) {
      for (size_t i = span.end; i-- > span.header + 1;) {
        Parsed p = ParseLine((*lines)[i].text, false);
        if (p.kind == Kind::Key && SameName(p.name, key)) {
          lines->erase(lines->begin() + static_cast<long>(i));
          --span.end;
          changed = true;
        }
      }
    }
    return changed;
  }
  std::string stored = Quote(*edit.value);
  std::string eol = LineEnding(*lines);
  SectionSpan span = FindSection(*lines, section);
  if (!span.found) {
    if (!lines->empty() && lines->back().eol.empty()) lines->back().eol = eol;
    lines->push_back({"[" + std::string(section) + "]", eol});
    lines->push_back({std::string(key) + "=" + stored, eol});
    return true;
  }
  size_t insertAt = span.header + 1;
  for (size_t i = span.header + 1; i < span.end; ++i) {
    Parsed p = ParseLine((*lines)[i].text, false);
    if (p.kind == Kind::Key && SameName(p.name, key)) {
      std::string& text = (*lines)[i].text;
      if (text.substr(p.valueStart) == stored) return false;
      text = text.substr(0, p.valueStart) + stored;
      return true;
    }
    if (p.kind == Kind::Key || p.kind == Kind::Other) insertAt = i + 1;
  }
  // After the section's last key, before its trailing blank and comment lines.
  if ((*lines)[insertAt - 1].eol.empty()) (*lines)[insertAt - 1].eol = eol;
  lines->insert(lines->begin() + static_cast<long>(insertAt), {std::string(key) + "=" + stored, eol});
  return true;
}

}  // namespace

bool UpdateIniSection(const std::string& file, std::string_view section,
                      const std::vector<IniEdit>& edits) {
  if (!ValidSection(section)) return false;
  for (const IniEdit& edit : edits) {
    if (!ValidKey(edit.key) || (edit.value && HasLineBreak(*edit.value))) return false;
  }
  section = Trim(section);
  std::string path = IniPath(file);
  std::lock_guard<std::mutex> lock(WriterMutex());
  std::vector<Line> lines;
  bool exists;
  if (!Load(path, &lines, &exists)) return false;
  bool changed = false;
  for (const IniEdit& edit : edits) changed = ApplyEdit(&lines, section, edit) || changed;
  return !changed || Store(path, lines);
}

bool WriteIniString(const std::string& file, std::string_view section, std::string_view key,
                    std::string_view value) {
  return UpdateIniSection(file, section, {IniEdit{std::string(key), std::string(value)}});
}

bool DeleteIniKey(const std::string& file, std::string_view section, std::string_view key) {
  return UpdateIniSection(file, section, {IniEdit{std::string(key), std::nullopt}});
}

bool DeleteIniSection(const std::string& file, std::string_view section) {
  section = Trim(section);
  std::string path = IniPath(file);
  std::lock_guard<std::mutex> lock(WriterMutex());
  std::vector<Line> lines;
  bool exists;
  if (!Load(path, &lines, &exists)) return false;
  bool changed = false;
  for (SectionSpan span = FindSection(lines, section); span.found;
       span = FindSection(lines, section, span.header)) {
    lines.erase(lines.begin() + static_cast<long>(span.header),
                lines.begin() + static_cast<long>(span.end));
    changed = true;
  }
  return !changed || Store(path, lines);
}

}  // namespace ck
