#include "framework/settings_manager.h"

#include <climits>
#include <utility>

#include "runtime/ini_file.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace ck {

namespace {

constexpr size_t kFileNameSize = 260;
constexpr size_t kSectorTextSize = 100;

std::string Key(std::string_view name, size_t index) {
  return std::string(name) + "_" + std::to_string(index);
}

// A decimal number of the whole text (optional sign); false otherwise.
bool ParseNumber(std::string_view text, long* out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  if (i == text.size()) return false;
  long value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    if (value > (LONG_MAX - 9) / 10) return false;
    value = value * 10 + (text[i] - '0');
  }
  *out = negative ? -value : value;
  return true;
}

// A coordinate read from the file; unset when missing or not a number that
// fits a coordinate.
int32_t ReadCoordinate(const std::string& file, std::string_view section, std::string_view key) {
  const auto text = FindIniString(file, section, key);
  long value = 0;
  if (!text || !ParseNumber(*text, &value) || value <= INT32_MIN || value > INT32_MAX) {
    return UnsetCoordinate;
  }
  return static_cast<int32_t>(value);
}

}  // namespace

std::string JoinRecord(const std::vector<std::string>& fields) {
  std::string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    for (char c : fields[i]) {
      if (c == ',' || c == '\\') out += '\\';
      out += c;
    }
  }
  return out;
}

std::vector<std::string> SplitRecord(std::string_view value) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == '\\' && i + 1 < value.size()) {
      fields.back() += value[++i];
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

SettingsManager::SettingsManager() : CritSect(std::make_unique<std::recursive_mutex>()) {}

SettingsManager::~SettingsManager() = default;

void SettingsManager::Init(std::string_view fileName, long nvType, long extraData) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  FileName = std::string(fileName.substr(0, kFileNameSize));
  NVType = nvType;
  ExtraData = extraData;
  Sectors = std::make_unique<std::vector<SectorEntry>>();
  for (const auto& record : ReadQueue(SectorsSection, SectorsKey)) {
    SectorEntry e;
    if (record.size() > 0) e.FAMILY = record[0];
    if (record.size() > 1) e.ITEM = record[1];
    if (record.size() > 2) e.TYPE = record[2];
    Sectors->push_back(std::move(e));
  }
}

void SettingsManager::Kill() {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  if (!Sectors) return;
  std::vector<std::vector<std::string>> records;
  records.reserve(Sectors->size());
  for (const SectorEntry& e : *Sectors) records.push_back({e.FAMILY, e.ITEM, e.TYPE});
  WriteQueue(SectorsSection, SectorsKey, records);
  Sectors.reset();
}

void SettingsManager::Register(std::string_view section, std::string_view item,
                               std::string_view type) {
  if (!Sectors) return;
  SectorEntry e{std::string(section.substr(0, kSectorTextSize)),
                std::string(item.substr(0, kSectorTextSize)),
                std::string(type.substr(0, kSectorTextSize))};
  for (const SectorEntry& s : *Sectors) {
    if (s.FAMILY == e.FAMILY && s.ITEM == e.ITEM && s.TYPE == e.TYPE) return;
  }
  Sectors->push_back(std::move(e));
}

Level SettingsManager::Update(std::string_view section, std::string_view key,
                              std::string_view value) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  if (!WriteIniString(FileName, section, key, value)) return level::Notify;
  Register(section, key, "Value");
  return level::Benign;
}

std::string SettingsManager::Fetch(std::string_view section, std::string_view key) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  return ReadIniString(FileName, section, key, "");
}

bool SettingsManager::Fetch(std::string_view section, std::string_view key, std::string* variable) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  auto value = FindIniString(FileName, section, key);
  if (!value) return false;
  *variable = std::move(*value);
  return true;
}

bool SettingsManager::Fetch(std::string_view section, std::string_view key, long* variable) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  const auto value = FindIniString(FileName, section, key);
  long number = 0;
  if (!value || !ParseNumber(*value, &number)) return false;
  *variable = number;
  return true;
}

void SettingsManager::SetAssertHandler(AssertHandler handler) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  assert_ = std::move(handler);
}

std::string SettingsManager::FetchChecked(std::string_view section, std::string_view key) {
  AssertHandler handler;
  std::string value;
  std::string text;
  {
    std::lock_guard<std::recursive_mutex> lock(*CritSect);
    value = ReadIniString(FileName, section, key, UnknownSetting);
    if (value != UnknownSetting) return value;
    text = "INI Assert: Could not find " + std::string(key) + " in sector " + std::string(section) +
           " of " + FileName;
    handler = assert_;
  }
  // Shown outside the critical section: a message box waits for the user.
  if (handler) {
    handler(text);
  } else {
    ui::Message(text, "Assertion failed", ui::MessageIcon::Exclamation);
  }
  return value;
}

void SettingsManager::FetchWindow(std::string_view section, WindowState* state) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  const std::string maximize = ReadIniString(FileName, section, "Maximize", "");
  if (maximize != "Yes" && maximize != "No") {
    state->GOT = 0;
    return;
  }
  state->MAXIMIZED = maximize == "Yes";
  state->MINIMIZED = ReadIniString(FileName, section, "Minimize", "") == "Yes";
  state->X = ReadCoordinate(FileName, section, "XPos");
  state->Y = ReadCoordinate(FileName, section, "YPos");
  state->W = ReadCoordinate(FileName, section, "Width");
  state->H = ReadCoordinate(FileName, section, "Height");
  state->GOT = 1;
}

bool SettingsManager::FetchWindow(std::string_view section, ui::Window& window) {
  WindowState state;
  FetchWindow(section, &state);
  if (!state.GOT) return false;
  // No screen is 32767 dialog units across: a larger place or size is damage
  // (it would overflow on its way to pixels) and stays as designed.
  constexpr int32_t kFar = 32767;
  auto known = [](int32_t v) {
    return v == UnsetCoordinate || v < -kFar || v > kFar ? -1 : static_cast<int>(v);
  };
  // Sizes of zero or less would hide the window; they stay as designed.
  auto size = [](int32_t v) {
    return v == UnsetCoordinate || v <= 0 || v > kFar ? -1 : static_cast<int>(v);
  };
  window.SetPosition({known(state.X), known(state.Y), size(state.W), size(state.H)});
  if (state.MAXIMIZED) window.SetMaximized(true);
  if (state.MINIMIZED) window.SetMinimized(true);
  return true;
}

Level SettingsManager::UpdateWindow(std::string_view section, const WindowState& state) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  bool ok = WriteIniString(FileName, section, "Maximize", state.MAXIMIZED ? "Yes" : "No");
  ok = WriteIniString(FileName, section, "Minimize", state.MINIMIZED ? "Yes" : "No") && ok;
  const std::pair<const char*, int32_t> coordinates[] = {
      {"XPos", state.X}, {"YPos", state.Y}, {"Width", state.W}, {"Height", state.H}};
  for (const auto& [key, value] : coordinates) {
    ok = (value == UnsetCoordinate
              ? DeleteIniKey(FileName, section, key)
              : WriteIniString(FileName, section, key, std::to_string(value))) &&
         ok;
  }
  if (!ok) return level::Notify;
  Register(section, "", "Window");
  return level::Benign;
}

Level SettingsManager::UpdateWindow(std::string_view section, ui::Window& window) {
  WindowState state;
  state.MAXIMIZED = window.Maximized();
  state.MINIMIZED = window.Minimized();
  if (!state.MAXIMIZED && !state.MINIMIZED) {
    const ui::Rect r = window.Position();
    state.X = r.x;
    state.Y = r.y;
    state.W = r.w;
    state.H = r.h;
  }
  return UpdateWindow(section, state);
}

std::vector<std::vector<std::string>> SettingsManager::ReadQueue(std::string_view section,
                                                                 std::string_view name) {
  std::vector<std::vector<std::string>> records;
  const long count = ReadIniInt(FileName, section, name, 0);
  for (long i = 1; i <= count; ++i) {
    const auto value = FindIniString(FileName, section, Key(name, static_cast<size_t>(i)));
    if (!value) break;  // a damaged list ends at its first missing record
    records.push_back(SplitRecord(*value));
  }
  return records;
}

Level SettingsManager::WriteQueue(std::string_view section, std::string_view name,
                                  const std::vector<std::vector<std::string>>& records) {
  const long oldCount = ReadIniInt(FileName, section, name, 0);
  bool ok = true;
  for (size_t i = 0; i < records.size(); ++i) {
    ok = WriteIniString(FileName, section, Key(name, i + 1), JoinRecord(records[i])) && ok;
  }
  // Records beyond the new count go; a damaged count cannot make this loop
  // longer than the records that are really there.
  for (long i = static_cast<long>(records.size()) + 1; i <= oldCount; ++i) {
    const std::string key = Key(name, static_cast<size_t>(i));
    if (!FindIniString(FileName, section, key)) break;
    ok = DeleteIniKey(FileName, section, key) && ok;
  }
  // The count goes last: a reader never sees more records than were written.
  ok = WriteIniString(FileName, section, name, std::to_string(records.size())) && ok;
  return ok ? level::Benign : level::Notify;
}

std::vector<std::vector<std::string>> SettingsManager::FetchQueue(std::string_view section,
                                                                  std::string_view name) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  return ReadQueue(section, name);
}

Level SettingsManager::UpdateQueue(std::string_view section, std::string_view name,
                                   const std::vector<std::vector<std::string>>& records) {
  std::lock_guard<std::recursive_mutex> lock(*CritSect);
  const Level result = WriteQueue(section, name, records);
  if (result == level::Benign) Register(section, name, "List");
  return result;
}

}  // namespace ck
