#include "storage/trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>

#include "runtime/date_time.h"
#include "runtime/ini_file.h"
#include "storage/codes.h"

namespace ck::storage {
namespace {

constexpr std::string_view kSection = "CELLARKEY_TRACE";
constexpr std::string_view kDefaultLog = "CellarkeyTrace.LOG";

std::string SettingsPath() {
  if (const char* path = std::getenv("CELLARKEY_TRACE_INI"); path && *path) return path;
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg) {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    return {};
  }
  return base + "/cellarkey/trace.ini";
}

// "x/trace" -> "x/trace.LOG"; a name that has an extension is kept.
std::string WithLogExtension(std::string name) {
  const size_t slash = name.find_last_of('/');
  const size_t dot = name.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".LOG";
  return name;
}

std::string Printf(const char* format, auto... values) {
  char buffer[96];
  const int n = std::snprintf(buffer, sizeof buffer, format, values...);
  return std::string(buffer, n < 0 ? 0 : std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1));
}

// Text as the log shows it: printable bytes as they are, others as \xNN,
// so binary positions and keys cannot break a line.
std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      out += Printf("\\x%02X", c);
    }
  }
  return out;
}

// Text between single quotes, escaped; appended piece by piece, as g++ 12
// at -O3 warns (-Wrestrict) on "'" + text + "'" here.
std::string Quoted(std::string_view text) {
  std::string out(1, '\'');
  out += Escaped(text);
  out += '\'';
  return out;
}

std::string FileIdent(const FileControlBlock& fcb) {
  return fcb.label.empty() ? fcb.name : fcb.label;
}

bool IsRecordOp(int op) {
  switch (op) {
    case ADD: case APPEND: case ADDfilelen: case APPENDlen: case PUT: case PUTfileptr:
    case PUTfileptrlen: case GETfilekey: case GETfileptr: case GETkeyptr: case GETfileptrlen:
    case NEXT: case PREVIOUS: case SKIP: case REGETfile: case REGETkey:
      return true;
    default:
      return false;
  }
}

template <typename T>
T Load(const char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

std::string FieldValue(const FieldDescriptor& field, const char* at) {
  const uint32_t length = field.length;
  auto fits = [&](size_t size) { return length >= size; };
  switch (field.type) {
    case BYTE: if (fits(1)) return std::to_string(Load<uint8_t>(at)); break;
    case SHORT: if (fits(2)) return std::to_string(Load<int16_t>(at)); break;
    case USHORT: if (fits(2)) return std::to_string(Load<uint16_t>(at)); break;
    case LONG: if (fits(4)) return std::to_string(Load<int32_t>(at)); break;
    case ULONG: if (fits(4)) return std::to_string(Load<uint32_t>(at)); break;
    case SREAL: if (fits(4)) return Printf("%g", static_cast<double>(Load<float>(at))); break;
    case REAL: if (fits(8)) return Printf("%.15g", Load<double>(at)); break;
    case DATE: if (fits(4)) return DateText(Load<int32_t>(at)); break;
    case TIME: if (fits(4)) return TimeText(Load<int32_t>(at)); break;
    case STRING: {
      std::string_view text(at, length);
      while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
      return Quoted(text);
    }
    case CSTRING: return Quoted(std::string_view(at, strnlen(at, length)));
    case PSTRING:
      if (fits(1)) {
        const size_t n = std::min<size_t>(static_cast<unsigned char>(at[0]), length - 1);
        return Quoted(std::string_view(at + 1, n));
      }
      break;
    default: break;
  }
  std::string hex;
  for (uint32_t i = 0; i < length; ++i) hex += Printf("%02X", static_cast<unsigned char>(at[i]));
  return hex;
}

// The log and its settings; one per process.
struct TraceLog {
  std::mutex mutex;
  std::once_flag loaded;
  std::atomic<bool> enabled{false};
  TraceSettings settings;
  FILE* file = nullptr;

  void Open() {
    settings = ReadTraceSettings();
    if (settings.logFile.empty()) return;
    // The log may hold record contents: only the user may read it. Opened
    // without blocking, so a FIFO of that name cannot stall the first call;
    // only a regular file is written.
    struct stat st {};
    if (::stat(settings.logFile.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      return Refuse("not a regular file");
    }
    const int fd = ::open(settings.logFile.c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0600);
    if (fd < 0) return Refuse(std::strerror(errno));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return Refuse("not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    file = ::fdopen(fd, "a");
    if (!file) {
      ::close(fd);
      return Refuse(std::strerror(errno));
    }
    enabled.store(true, std::memory_order_release);
  }

  // Tracing stays off; the user who asked for it learns why.
  void Refuse(const char* reason) {
    std::fprintf(stderr, "cellarkey: the trace log %s cannot be written (%s); tracing is off\n",
                 settings.logFile.c_str(), reason);
  }

  void Close() {
    enabled.store(false, std::memory_order_release);
    if (file) std::fclose(file);
    file = nullptr;
  }

  // REQUIRES: mutex held.
  void Write(const std::string& text) {
    if (!file) return;
    std::fwrite(text.data(), 1, text.size(), file);
    if (settings.flush) std::fflush(file);
  }
};

TraceLog& TheLog() {
  static TraceLog log;
  return log;
}

// A small number per thread, so the lines of several threads can be told apart.
unsigned ThreadNumber() {
  static std::atomic<unsigned> next{1};
  thread_local unsigned number = next.fetch_add(1);
  return number;
}

}  // namespace

TraceSettings ReadTraceSettings() {
  TraceSettings settings;
  const std::string path = SettingsPath();
  if (path.empty()) return settings;
  const std::string logFile = ReadIniString(path, kSection, "TraceFile", "");
  const bool profile = ReadIniInt(path, kSection, "Profile", 0) != 0;
  if (logFile.empty() && !profile) return settings;
  settings.logFile = WithLogExtension(logFile.empty() ? std::string(kDefaultLog) : IniPath(logFile));
  settings.details = ReadIniInt(path, kSection, "Details", 0) != 0;
  settings.flush = ReadIniInt(path, kSection, "Flush", 0) != 0;
  return settings;
}

bool TraceEnabled() {
  TraceLog& log = TheLog();
  std::call_once(log.loaded, [&] {
    std::lock_guard<std::mutex> lock(log.mutex);
    log.Open();
  });
  return log.enabled.load(std::memory_order_acquire);
}

void ReloadTraceSettings() {
  TraceEnabled();  // the first load, if it has not happened yet
  TraceLog& log = TheLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.Close();
  log.Open();
}

void TraceDeclaration(const FileControlBlock& fcb) {
  TraceLog& log = TheLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.Write(DeclarationText(fcb));
}

void TraceCall(int op, const FileControlBlock& fcb, const DriverArgs& args, int result,
               int64_t elapsedHundredths) {
  std::string text = Printf("T%u ", ThreadNumber());
  text += CallText(op, fcb, args, result, elapsedHundredths);
  text += '\n';
  TraceLog& log = TheLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  if (log.settings.details && IsRecordOp(op) && (result == 0 || result == -1)) {
    text += RecordText(fcb);
  }
  log.Write(text);
}

void TraceLine(std::string_view line) {
  if (!TraceEnabled()) return;
  std::string text = Printf("T%u ", ThreadNumber());
  text += line;
  text += '\n';
  TraceLog& log = TheLog();
  std::lock_guard<std::mutex> lock(log.mutex);
  log.Write(text);
}

std::string DeclarationText(const FileControlBlock& fcb) {
  std::string text = fcb.label + " FILE,DRIVER('" + fcb.driverName + "'";
  if (!fcb.driverString.empty()) text += ",'" + Escaped(fcb.driverString) + "'";
  text += ")";
  // The owner password itself is never written.
  if (!fcb.owner.empty()) text += ",OWNER(******)";
  if (!fcb.name.empty()) text += ",NAME('" + Escaped(fcb.name) + "')";
  if (fcb.create) text += ",CREATE";
  if (fcb.encrypt) text += ",ENCRYPT";
  if (fcb.reclaim) text += ",RECLAIM";
  if (fcb.thread) text += ",THREAD";
  text += '\n';

  for (const KeyDescriptor& key : fcb.keys) {
    text += "  " + key.name + (key.isIndex ? " INDEX(" : " KEY(");
    for (size_t i = 0; i < key.components.size(); ++i) {
      const KeyComponent& component = key.components[i];
      if (i > 0) text += ',';
      if (component.descending) text += '-';
      if (component.field >= 0 && static_cast<size_t>(component.field) < fcb.fields.size()) {
        text += fcb.fields[component.field].name;
      } else {
        text += Printf("?%d", component.field);
      }
    }
    text += ')';
    if (key.duplicates) text += ",DUP";
    if (key.opt) text += ",OPT";
    if (key.nocase) text += ",NOCASE";
    if (key.primary) text += ",PRIMARY";
    if (!key.externalName.empty()) text += ",NAME('" + key.externalName + "')";
    text += '\n';
  }
  for (const MemoDescriptor& memo : fcb.memos) {
    text += "  " + memo.name + (memo.blob ? " BLOB" : Printf(" MEMO(%u)", memo.size));
    if (!memo.externalName.empty()) text += ",NAME('" + memo.externalName + "')";
    if (memo.binary) text += ",BINARY";
    text += '\n';
  }

  text += "  RECORD\n";
  for (const FieldDescriptor& field : fcb.fields) {
    text += "    " + field.name + " " + std::string(FieldTypeName(field.type));
    if (field.type == DECIMAL || field.type == PDECIMAL) {
      text += Printf("(%u,%u)", unsigned{field.digits}, unsigned{field.places});
    } else if (!field.picture.empty()) {
      text += "(@" + field.picture + ")";
    } else if (field.type == STRING || field.type == CSTRING || field.type == PSTRING ||
               field.type == GROUP) {
      text += Printf("(%u)", field.length);
    }
    if (field.dim > 0) text += Printf(", DIM(%u)", field.dim);
    if (field.over >= 0 && static_cast<size_t>(field.over) < fcb.fields.size()) {
      text += ", OVER(" + fcb.fields[field.over].name + ")";
    }
    if (!field.externalName.empty()) text += ", NAME('" + field.externalName + "')";
    text += '\n';
  }
  text += "  END\nEND\n";
  return text;
}

std::string CallText(int op, const FileControlBlock& fcb, const DriverArgs& args, int result,
                     int64_t elapsedHundredths) {
  std::string text = std::string(OpName(op)) + "(" + FileIdent(fcb) + ")";
  if (op == OPEN || op == SHARE) text += Printf(" Mode(0x%02X)", fcb.accessMode);
  if (args.key >= 0) {
    const bool named = static_cast<size_t>(args.key) < fcb.keys.size() &&
                       !fcb.keys[args.key].name.empty();
    text += " Key(" + (named ? fcb.keys[args.key].name : std::to_string(args.key)) + ")";
  }
  if (args.pointer != 0) text += Printf(" Pointer(%u)", args.pointer);
  if (args.length != 0) text += Printf(" Length(%u)", args.length);
  if (args.seconds != 0) text += Printf(" Seconds(%u)", args.seconds);
  if (args.hold) text += " Hold";
  if (args.count != 0) text += Printf(" Count(%d)", args.count);
  if (!args.text.empty()) text += " Text('" + Escaped(args.text) + "')";
  if (result == 0 || result == -1) {
    if (args.number) text += Printf(" Number(%" PRId64 ")", *args.number);
    if (args.result && !args.result->empty()) text += " Result('" + Escaped(*args.result) + "')";
  }
  text += Printf(" Error: %d Time Taken: ", result);
  text += ElapsedText(elapsedHundredths);
  return text;
}

std::string RecordText(const FileControlBlock& fcb) {
  std::string text;
  for (const FieldDescriptor& field : fcb.fields) {
    if (field.type == GROUP || field.type == MEMO || field.type == BLOB) continue;
    text += "    " + field.name + " = ";
    if (!fcb.record || uint64_t{field.offset} + field.length > fcb.recordLength) {
      text += "(outside the record)\n";
      continue;
    }
    text += FieldValue(field, fcb.record + field.offset);
    text += '\n';
  }
  return text;
}

std::string DateText(int32_t date) {
  CivilDate civil;
  if (!CivilFromDate(date, &civil)) return Printf("Invalid date (%ld)", long{date});
  return Printf("%02d %s %d (%ld)", civil.day, std::string(MonthAbbreviation(civil.month)).c_str(),
                civil.year, long{date});
}

std::string TimeText(int32_t time) {
  ClockTime clock;
  if (!ClockFromTime(time, &clock)) return Printf("Invalid time (%ld)", long{time});
  return Printf("%02d:%02d:%02d.%02d (%ld)", clock.hour, clock.minute, clock.second,
                clock.hundredth, long{time});
}

std::string ElapsedText(int64_t hundredths) {
  if (hundredths < 0) hundredths = 0;
  return Printf("%ld.%02ld secs", static_cast<long>(hundredths / 100),
                static_cast<long>(hundredths % 100));
}

}  // namespace ck::storage
