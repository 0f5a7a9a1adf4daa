// The settings manager: named values in a private-profile settings file
// (sections of key=value lines), the saved state of windows (position,
// size, maximised and minimised), lists of records, and a register of what
// was written through it. One process-wide instance serves every thread;
// each operation holds the manager's critical section.
// Not copyable.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "framework/levels.h"

namespace ck {

namespace ui {
class Window;
}

// Marks a window coordinate that is not known.
inline constexpr int32_t UnsetCoordinate = INT32_MIN;  // 0x80000000

// A window's saved state. GOT says the record was filled from the file.
struct WindowState {
  int32_t X = UnsetCoordinate;
  int32_t Y = UnsetCoordinate;
  int32_t W = UnsetCoordinate;
  int32_t H = UnsetCoordinate;
  uint8_t MAXIMIZED = 0;
  uint8_t MINIMIZED = 0;
  uint8_t GOT = 0;
};

// One entry of the register of written settings.
struct SectorEntry {
  std::string FAMILY;  // section
  std::string ITEM;    // key or list name ("" for a window)
  std::string TYPE;    // "Value", "Window" or "List"
};

// The section and key that hold the register.
inline constexpr std::string_view SectorsSection = "__Dont_Touch_Me__";
inline constexpr std::string_view SectorsKey = "Sectors";
// What FetchChecked reads when the key is missing.
inline constexpr std::string_view UnknownSetting = "---Unknown---";

class SettingsManager {
 public:
  SettingsManager();
  virtual ~SettingsManager();
  SettingsManager(const SettingsManager&) = delete;
  SettingsManager& operator=(const SettingsManager&) = delete;

  // Stores the file name (cut at 260) and loads the register.
  void Init(std::string_view fileName, long nvType = 0, long extraData = 0);

  // --- Virtual operations, in slot order ---
  // Writes the register back and disposes it.
  virtual void Kill();
  // Writes value under section/key (replacing an existing one). Benign, or
  // Notify when the file could not be written (it is then unchanged).
  virtual Level Update(std::string_view section, std::string_view key, std::string_view value);
  // The stored value; "" when the file, section or key is missing.
  virtual std::string Fetch(std::string_view section, std::string_view key);
  // Empty hooks for derived managers.
  virtual void Hook1() {}
  virtual void Hook2() {}

  // --- Other operations ---
  // Assigns the stored value to *variable only when the key exists; returns
  // whether it did. The number form leaves *variable alone also when the
  // value is no number.
  bool Fetch(std::string_view section, std::string_view key, std::string* variable);
  bool Fetch(std::string_view section, std::string_view key, long* variable);
  // Reads with the default "---Unknown---"; when that comes back, reports
  // "INI Assert: Could not find KEY in sector SECTION of FILE" through the
  // assertion handler. Returns what was read.
  std::string FetchChecked(std::string_view section, std::string_view key);
  // Where FetchChecked's assertion goes (default: a message box). An empty
  // handler restores the default.
  using AssertHandler = std::function<void(std::string_view text)>;
  void SetAssertHandler(AssertHandler handler);

  // Reads a window's state (see WindowState). A Maximize value other than
  // "Yes" or "No" reads nothing and clears GOT.
  void FetchWindow(std::string_view section, WindowState* state);
  // Restores the window from its section: the known coordinates and the
  // maximised or minimised state. Returns whether anything was stored.
  bool FetchWindow(std::string_view section, ui::Window& window);
  // Writes the six keys; unset coordinates remove their keys.
  Level UpdateWindow(std::string_view section, const WindowState& state);
  // Takes the window's state (coordinates only when it is neither
  // maximised nor minimised) and writes it.
  Level UpdateWindow(std::string_view section, ui::Window& window);

  // Lists of records: NAME=count, NAME_1 ... NAME_count, each record's
  // fields joined by "," (a "," or "\" inside a field is escaped with "\").
  std::vector<std::vector<std::string>> FetchQueue(std::string_view section, std::string_view name);
  Level UpdateQueue(std::string_view section, std::string_view name,
                    const std::vector<std::vector<std::string>>& records);

  // --- Members ---
  std::string FileName;
  std::unique_ptr<std::vector<SectorEntry>> Sectors;
  long NVType = 0;
  long ExtraData = 0;
  std::unique_ptr<std::recursive_mutex> CritSect;

 private:
  // Adds (section, item, type) to the register unless it is there.
  void Register(std::string_view section, std::string_view item, std::string_view type);
  Level WriteQueue(std::string_view section, std::string_view name,
                   const std::vector<std::vector<std::string>>& records);
  std::vector<std::vector<std::string>> ReadQueue(std::string_view section, std::string_view name);

  AssertHandler assert_;
};

// Joins fields with "," escaping "," and "\" with "\"; SplitRecord undoes it.
std::string JoinRecord(const std::vector<std::string>& fields);
std::vector<std::string> SplitRecord(std::string_view value);

}  // namespace ck
