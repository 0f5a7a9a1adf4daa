#include "ui/report/report_layout.h"

#include <strings.h>

namespace ck::report {

namespace {
bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}
}  // namespace

ReportBand& ReportLayout::AddBand(BandKind kind, std::string name, Extent at) {
  ReportBand b;
  b.feq = next_++;
  b.kind = kind;
  b.name = std::move(name);
  b.at = at;
  bands.push_back(std::move(b));
  return bands.back();
}

ReportControl& ReportLayout::Add(ControlKind kind, std::string name, std::string text, Extent at) {
  ReportControl c;
  c.feq = next_++;
  c.kind = kind;
  c.name = std::move(name);
  c.text = std::move(text);
  c.at = at;
  bands.back().controls.push_back(std::move(c));
  return bands.back().controls.back();
}

ReportBand* ReportLayout::Band(int feq) {
  return const_cast<ReportBand*>(static_cast<const ReportLayout*>(this)->Band(feq));
}

const ReportBand* ReportLayout::Band(int feq) const {
  for (const ReportBand& b : bands)
    if (b.feq == feq) return &b;
  return nullptr;
}

ReportControl* ReportLayout::Control(int feq) {
  return const_cast<ReportControl*>(static_cast<const ReportLayout*>(this)->Control(feq));
}

const ReportControl* ReportLayout::Control(int feq) const {
  for (const ReportBand& b : bands)
    for (const ReportControl& c : b.controls)
      if (c.feq == feq) return &c;
  return nullptr;
}

int ReportLayout::FeqOf(std::string_view name) const {
  for (const ReportBand& b : bands) {
    if (!b.name.empty() && SameName(b.name, name)) return b.feq;
    for (const ReportControl& c : b.controls)
      if (!c.name.empty() && SameName(c.name, name)) return c.feq;
  }
  return 0;
}

const ReportBand* ReportLayout::FirstBand(BandKind kind) const {
  for (const ReportBand& b : bands)
    if (b.kind == kind) return &b;
  return nullptr;
}

}  // namespace ck::report
