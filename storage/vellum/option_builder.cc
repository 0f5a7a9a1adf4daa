#include "storage/vellum/option_builder.h"

#include <algorithm>

namespace ck::vellum {

namespace {

constexpr std::string_view kPoorlyFormed = "Poorly formed driver string.  ";

std::string Message(const std::string& name, std::string_view what) {
  return std::string(kPoorlyFormed) + name + std::string(what);
}

std::string IncorrectValue(const OptionItem& item) {
  return Message(item.name, " has an incorrect value of ") + item.value + ".  Value ignored,";
}

// A value needs brackets when a bare one would not read back the same.
std::string ValueText(const std::string& value) {
  const bool bracket = value.find('/') != std::string::npos ||
                       (!value.empty() && value.front() == '[') ||
                       value.find_first_of(" \t") == 0 ||
                       (!value.empty() && (value.back() == ' ' || value.back() == '\t'));
  return bracket ? "[" + value + "]" : value;
}

}  // namespace

BuilderParse ParseForBuilder(std::string_view driverString) {
  BuilderParse out;
  BuilderFields& f = out.fields;
  for (const OptionItem& item : SplitDriverString(driverString)) {
    const OptionId id = FindOption(item.name);
    if (id == OptionId::Unknown) {
      out.messages.push_back(Message(item.name, " is not a valid switch"));
      continue;
    }
    if (!item.hasValue) {
      out.messages.push_back(Message(item.name, " has no value"));
      continue;
    }
    if (item.value.empty() && id != OptionId::TCF) {
      out.messages.push_back(Message(item.name, " has missing value"));
      continue;
    }
    const bool fits = id != OptionId::TCF || item.value.size() <= kMaxBuilderControlFileName;
    if (!fits || CheckOptionValue(id, item.value) != 0) {
      out.messages.push_back(IncorrectValue(item));
      continue;
    }
    switch (id) {
      case OptionId::TCF:
        f.transactionControlFile = item.value;
        break;
      case OptionId::DecimalCheck:
        ParseSwitch(item.value, &f.checkDecimalPlaces);
        break;
      default: {
        auto same = [&](const OptionItem& o) { return FindOption(o.name) == id; };
        f.others.erase(std::remove_if(f.others.begin(), f.others.end(), same), f.others.end());
        f.others.push_back(item);
        break;
      }
    }
  }
  return out;
}

std::string ComposeDriverString(const BuilderFields& fields) {
  std::string out;
  if (!fields.transactionControlFile.empty())
    out += "/TCF=" + ValueText(fields.transactionControlFile);
  if (!fields.checkDecimalPlaces) out += "/DecimalCheck=OFF";
  for (const OptionItem& o : fields.others) {
    // Appended piece by piece: g++ 12 at -O3 warns (-Wrestrict) on "=" + text.
    out += '/';
    out += o.name;
    if (o.hasValue) {
      out += '=';
      out += ValueText(o.value);
    }
  }
  return out;
}

}  // namespace ck::vellum
