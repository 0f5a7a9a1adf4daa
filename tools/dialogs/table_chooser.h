// The file and table chooser: the "Open Vellum File" file dialog, then the
// "Select Vellum Table" list of the tables in the chosen file ("UNNAMED"
// for the file's unnamed table). Runs on the calling procedure thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ck::vlutool {

inline constexpr const char* kUnnamedTable = "UNNAMED";

struct ChosenTable {
  std::string file;
  std::string table;  // "" for the unnamed table

  // The name vlutool's commands take: FILE, or FILE\!TABLE.
  std::string Name() const;
};

// The table names of a Vellum file, in the file's order; false with *error
// when the file cannot be read. owner: the password of an enciphered file.
bool VellumTableNames(const std::string& file, const std::string& owner,
                      std::vector<std::string>* names, std::string* error);

// The chosen file and table, or nullopt when the user cancelled or the file
// could not be read (the reason was shown).
std::optional<ChosenTable> ChooseVellumTable(const std::string& owner);

}  // namespace ck::vlutool
