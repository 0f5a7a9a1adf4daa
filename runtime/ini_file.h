// Private-profile settings files: named sections of "key=value" lines.
//
// Reading: sections and keys are matched without regard to case (the first
// match wins), keys and values are trimmed of surrounding blanks, and a value
// enclosed in matching quotes ('...' or "...") loses them. A missing file,
// section or key gives the default; an empty value is a value.
//
// Writing creates the file or the section when missing, replaces or inserts
// only the line concerned and keeps every other line (comments, blank lines,
// unknown keys, line endings) byte for byte. A value that would not read back
// as written (leading blanks, outer quotes) is stored in quotes; trailing
// blanks are never significant and are dropped. Texts holding a line break
// (or a key holding '=' or a section holding ']') are refused, so a value can
// never inject lines into the file. The new content goes to a temporary file
// that is flushed and renamed over the old one: a crash leaves the old file or
// the new one, never half of it. Writers in one process are serialised.
//
// File names in the Windows form (".\AQuilon.ini", "dir\x.ini") are accepted:
// backslashes become slashes, so ".\x.ini" is x.ini in the current folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ck {

// The file name with backslashes turned into slashes.
std::string IniPath(std::string_view file);

// The value of key in section, or defaultValue when the file, the section or
// the key is missing.
std::string ReadIniString(const std::string& file, std::string_view section,
                          std::string_view key, std::string_view defaultValue);

// The value of key in section, or nullopt when the file, the section or the
// key is missing (tells a missing key from an empty value).
std::optional<std::string> FindIniString(const std::string& file, std::string_view section,
                                         std::string_view key);

// False when the file is there but cannot be read (no permission, a folder
// of that name, a read error); a missing file is readable: it has no keys.
bool IniFileReadable(const std::string& file);

// The value read as a decimal integer (optional sign, leading blanks allowed,
// digits up to the first non-digit), or defaultValue when missing or when the
// value does not start with a number or does not fit.
long ReadIniInt(const std::string& file, std::string_view section, std::string_view key,
                long defaultValue);

// Sets key in section to value. False when the texts are unusable (empty key
// or section, a line break, '=' in the key, ']' in the section) or the file
// cannot be written; the old file is then unchanged.
bool WriteIniString(const std::string& file, std::string_view section, std::string_view key,
                    std::string_view value);

// Removes the key's line (every copy of it, in every section of that name).
// True also when there was nothing to remove.
bool DeleteIniKey(const std::string& file, std::string_view section, std::string_view key);

// Several keys of one section set (value) or removed (nullopt) in one
// rewrite of the file: all or nothing. False, with the file unchanged, when
// any text is unusable or the file cannot be written.
struct IniEdit {
  std::string key;
  std::optional<std::string> value;
};
bool UpdateIniSection(const std::string& file, std::string_view section,
                      const std::vector<IniEdit>& edits);

// Removes the section: its header and every line up to the next section.
// True also when there was nothing to remove.
bool DeleteIniSection(const std::string& file, std::string_view section);

}  // namespace ck
