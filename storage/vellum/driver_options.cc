#include "storage/vellum/driver_options.h"

#include <charconv>
#include <mutex>

#include "storage/codes.h"

namespace ck::vellum {

namespace {

// Longest control file name we pass on to the file system.
constexpr size_t kMaxPathLength = 4095;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool ParseNumber(std::string_view value, uint32_t* n) {
  value = Trim(value);
  if (value.empty()) return false;
  const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), *n);
  return ec == std::errc() && end == value.data() + value.size();
}

std::string SwitchText(bool on) { return on ? "ON" : "OFF"; }

// The process-wide control file names. Reads come from the transaction code
// as well as from driver calls, so they take a lock of their own.
struct ControlFileState {
  std::mutex mutex;
  std::string current;
  std::string former;
};

ControlFileState& ControlFile() {
  static ControlFileState state;
  return state;
}

// The name and the value of one option's text (without its "/").
OptionItem SplitItem(std::string_view text) {
  OptionItem item;
  const size_t eq = text.find('=');
  item.name = std::string(Trim(text.substr(0, eq)));
  if (eq == std::string_view::npos) return item;
  item.hasValue = true;
  std::string_view value = Trim(text.substr(eq + 1));
  if (value.size() >= 2 && value.front() == '[' && value.back() == ']')
    value = value.substr(1, value.size() - 2);
  item.value = std::string(value);
  return item;
}

}  // namespace

bool ParseSwitch(std::string_view value, bool* on) {
  value = Trim(value);
  if (EqualNoCase(value, "ON")) *on = true;
  else if (EqualNoCase(value, "OFF")) *on = false;
  else return false;
  return true;
}

OptionId FindOption(std::string_view name) {
  static constexpr std::pair<std::string_view, OptionId> kNames[] = {
      {"TCF", OptionId::TCF},     {"DecimalCheck", OptionId::DecimalCheck},
      {"FULLBUILD", OptionId::FULLBUILD}, {"FLAGS", OptionId::FLAGS},
      {"PNM", OptionId::PNM},     {"PNMQ", OptionId::PNMQ},
  };
  for (const auto& [text, id] : kNames)
    if (EqualNoCase(name, text)) return id;
  return OptionId::Unknown;
}

std::vector<OptionItem> SplitDriverString(std::string_view text) {
  std::vector<OptionItem> items;
  size_t at = text.find('/');
  while (at != std::string_view::npos) {
    size_t end = text.find('/', at + 1);
    const size_t eq = text.find('=', at + 1);
    if (eq != std::string_view::npos && eq < end) {
      // A bracketed value may hold "/": the option ends after its "]".
      const size_t valueStart = text.find_first_not_of(" \t", eq + 1);
      if (valueStart != std::string_view::npos && text[valueStart] == '[') {
        const size_t close = text.find(']', valueStart + 1);
        end = close == std::string_view::npos ? close : text.find('/', close + 1);
        OptionItem item;
        item.name = std::string(Trim(text.substr(at + 1, eq - at - 1)));
        item.hasValue = true;
        item.value = std::string(text.substr(valueStart + 1, close == std::string_view::npos
                                                                 ? std::string_view::npos
                                                                 : close - valueStart - 1));
        if (!item.name.empty()) items.push_back(std::move(item));
        at = end;
        continue;
      }
    }
    const std::string_view body =
        text.substr(at + 1, end == std::string_view::npos ? end : end - at - 1);
    OptionItem item = SplitItem(body);
    if (!item.name.empty()) items.push_back(std::move(item));
    at = end;
  }
  return items;
}

OptionItem SplitOption(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '/') text.remove_prefix(1);
  return SplitItem(text);
}

int CheckOptionValue(OptionId id, std::string_view value) {
  bool on = false;
  uint32_t n = 0;
  switch (id) {
    case OptionId::DecimalCheck:
    case OptionId::FULLBUILD:
      return ParseSwitch(value, &on) ? 0 : storage::BadParameterCountErr;
    case OptionId::FLAGS:
    case OptionId::PNMQ:
      return ParseNumber(value, &n) ? 0 : storage::BadParameterCountErr;
    case OptionId::TCF:
      return value.size() > kMaxPathLength || value.find('\0') != std::string_view::npos
                 ? storage::InvalidFilenameErr
                 : 0;
    case OptionId::PNM:
    case OptionId::Unknown:
      return 0;
  }
  return 0;
}

int HandleOption(const OptionItem& item, const OptionTarget& target, std::string* value) {
  value->clear();
  const OptionId id = FindOption(item.name);
  if (id == OptionId::Unknown) return 0;
  if (item.hasValue) {
    if (const int rc = CheckOptionValue(id, item.value); rc != 0) return rc;
  }
  if (id == OptionId::TCF) {
    if (item.hasValue) SetTransactionControlFileName(item.value);
    *value = TransactionControlFileName();
    return 0;
  }
  if (id == OptionId::PNM) {
    if (!target.findTable) return storage::NotOpenErr;
    const std::string_view wanted = item.hasValue ? std::string_view(item.value) : target.tableName;
    const int rc = target.findTable(wanted, value);
    if (rc == storage::FileNotFoundErr) value->clear();
    return rc == storage::FileNotFoundErr ? 0 : rc;
  }
  if (!target.table) return storage::NotOpenErr;
  TableOptions& t = *target.table;
  switch (id) {
    case OptionId::DecimalCheck:
      if (item.hasValue) ParseSwitch(item.value, &t.decimalCheck);
      *value = SwitchText(t.decimalCheck);
      break;
    case OptionId::FULLBUILD:
      if (item.hasValue) ParseSwitch(item.value, &t.fullBuild);
      *value = SwitchText(t.fullBuild);
      break;
    case OptionId::FLAGS:
      if (item.hasValue) ParseNumber(item.value, &t.flags);
      *value = std::to_string(t.flags);
      break;
    case OptionId::PNMQ:
      if (item.hasValue) ParseNumber(item.value, &t.pnmq);
      *value = std::to_string(t.pnmq);
      break;
    default:
      break;
  }
  return 0;
}

int ApplyDriverString(std::string_view text, TableOptions* table) {
  OptionTarget target;
  target.table = table;
  std::string value;
  for (const OptionItem& item : SplitDriverString(text)) {
    if (FindOption(item.name) == OptionId::PNM) continue;  // needs the open file
    if (const int rc = HandleOption(item, target, &value); rc != 0) return rc;
  }
  return 0;
}

std::string TransactionControlFileName() {
  ControlFileState& s = ControlFile();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.current;
}

std::string FormerTransactionControlFileName() {
  ControlFileState& s = ControlFile();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.former;
}

void SetTransactionControlFileName(std::string_view name) {
  ControlFileState& s = ControlFile();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.former = std::move(s.current);
  s.current = std::string(name);
}

std::string ControlFilePathFor(std::string_view dataFilePath) {
  std::string name = TransactionControlFileName();
  if (!name.empty()) return name;
  const size_t slash = dataFilePath.rfind('/');
  const std::string_view dir =
      slash == std::string_view::npos ? std::string_view() : dataFilePath.substr(0, slash + 1);
  return std::string(dir) + std::string(kDefaultControlFileName);
}

}  // namespace ck::vellum
