#include "app/report_passwords.h"

#include <string>

#include "app/globals.h"
#include "app/passwords_table.h"
#include "app/procedure_window.h"
#include "framework/print_preview.h"
#include "framework/process_manager.h"
#include "framework/relation_manager.h"
#include "framework/string_step.h"
#include "runtime/date_time.h"
#include "runtime/picture.h"
#include "ui/report/report.h"
#include "ui/window.h"

namespace ck::app {

namespace {
using namespace ck::ui;
using report::BandKind;
using report::ControlKind;

constexpr const char* kName = "ReportPASSWORDSByPAS:KeyClientDomain";
// Control numbers of the progress window.
constexpr int kThermometer = 1, kUserString = 2, kPercentText = 3, kCancel = 4;

WindowModel ProgressLayout() {
  WindowModel w;
  w.title = "Report PASSWORDS";
  w.font = {"MS Sans Serif", 8};
  w.at = {-1, -1, 142, 59};
  w.resizable = false;
  ControlModel& bar = w.Add(ControlType::Progress, "?PROGRESS:THERMOMETER");
  bar.at = {15, 15, 111, 12};
  w.AddString("?PROGRESS:USERSTRING", "").at = {0, 3, 141, 10};
  w.AddString("?PROGRESS:PCTTEXT", "").at = {0, 30, 141, 10};
  ControlModel& cancel = w.AddButton("?PROGRESS:CANCEL", "Cancel");
  cancel.at = {46, 42, 49, 15};
  cancel.msg = "Cancel Report";
  cancel.tip = "Cancel Report";
  cancel.icon = "WACANCEL.ICO";
  cancel.isCancel = true;
  return w;
}

// The record processor: each record read prints one detail band.
class PasswordsProcess : public ProcessManager {
 public:
  explicit PasswordsProcess(report::Report& report) : report_(report) {}
  Level TakeRecord() override {
    const Level base = ProcessManager::TakeRecord();
    std::string ignored;  // a page that cannot be written ends the report at its close
    report_.Print(report_.Feq("?DETAIL"), &ignored);
    return base;
  }

 private:
  report::Report& report_;
};

class PasswordsReport : public ProcedureReport {
 public:
  PasswordsReport()
      : ProcedureReport(kName, false),
        window_(ProgressLayout()),
        report_(PasswordsReportLayout()),
        process_(report_) {
    report_.Bind(report_.Feq("?PAS:CLIENTDOMAIN"), UseVar::Of(PAS_ClientDomain()));
    report_.Bind(report_.Feq("?PAS:LOGIN"), UseVar::Of(PAS_Login()));
    report_.Bind(report_.Feq("?PAS:PASSWORD"), UseVar::Of(PAS_Password()));
    report_.Bind(report_.Feq("?PAS:OTHERINFO"), UseVar::Of(PAS_OtherInfo()));
    // The thermometer shows the percentage the processor stores.
    window_.Bind(kThermometer, UseVar::Of([this] { return std::to_string(thermometer_); },
                                          [](std::string_view) {}));
  }

  Level Init() override {
    const Level base = ProcedureReport::Init();
    if (base != level::Benign) return base;
    OpenPasswords();
    OpenRestored(window_);
    window_.SetTimer(10);
    step_.StepInit(stepflag::Letters | stepflag::Digits, steptable::RunTime);
    process_.Init(PasswordsReportView(), *Relate_PASSWORDS(), kPercentText,
                  FieldRef(&thermometer_, 1, fieldtype::BYTE), &step_,
                  PasswordsField(kFieldClientDomain));
    process_.CASESENSITIVEVALUE = 0;
    process_.AddKeyOrder(kKeyClientDomain);
    AddItem(kCancel, response::Cancelled);
    ReportManager::Init(process_, &report_, &preview_);
    window_.SetText(kUserString, "");
    Relate_PASSWORDS()->SetQuickScan(true);
    SKIPPREVIEW = 0;
    preview_.SetINIManager(INIMgr());
    preview_.ALLOWUSERZOOM = 1;
    preview_.MAXIMIZE = 1;
    preview_.DocumentTitle = report_.layout().title;
    SetAlerts();
    return level::Benign;
  }

  // The stamps are taken once, when the report opens: every page shows them.
  Level OpenReport() override {
    const Level base = ProcedureReport::OpenReport();
    if (base != level::Benign) return base;
    Picture date, time;
    std::string ignored;
    Picture::Parse("@D17", &date, &ignored);
    Picture::Parse("@T7", &time, &ignored);
    report_.SetText(report_.Feq("?REPORTDATESTAMP"), date.Format(ck::Today()));
    report_.SetText(report_.Feq("?REPORTTIMESTAMP"), time.Format(ck::Clock()));  // the time of day, not the report's own timer
    return base;
  }

  Level Kill() override {
    const Level base = ProcedureReport::Kill();
    step_.Kill();
    return base;
  }

 private:
  Window window_;
  report::Report report_;
  PasswordsProcess process_;
  StringStep step_;
  PrintPreview preview_;
  uint8_t thermometer_ = 0;
};

}  // namespace

report::ReportLayout PasswordsReportLayout() {
  using report::Extent;
  report::ReportLayout l;
  l.title = "PASSWORDS Report";
  l.body = {250, 850, 8000, 9646};
  l.font = {"MS Sans Serif", 8};
  const report::PageFont arial{"Arial", 8};

  l.AddBand(BandKind::Header, "?HEADER", {250, 250, 8000, 600});
  report::ReportControl& title = l.Add(ControlKind::String, "?REPORTTITLE", "PASSWORDS LIST ",
                                       {0, 20, 8000, 220});
  title.font = {"Arial", 12, true};
  title.align = report::TextAlign::Center;
  l.Add(ControlKind::String, "?STRING14", "by Ada Quillon", {4031, 188, 1500, 150}).font = arial;
  l.Add(ControlKind::Box, "?HEADERBOX", "", {0, 350, 8000, 250});
  for (int i = 1; i <= 3; ++i)
    l.Add(ControlKind::Line, "?HEADERLINE:" + std::to_string(i), "", {2000 * i, 350, 0, 250});
  const char* kHeadings[] = {"Client Domain", "Login", "Password", "Other Info"};
  for (int i = 0; i < 4; ++i)
    l.Add(ControlKind::String, "?HEADERTITLE:" + std::to_string(i + 1), kHeadings[i],
          {50 + 2000 * i, 390, 1900, 170});

  l.AddBand(BandKind::Detail, "?DETAIL", {0, 0, 8000, 250});
  for (int i = 0; i <= 4; ++i)
    l.Add(ControlKind::Line, "?DETAILLINE:" + std::to_string(i), "", {2000 * i, 0, 0, 250});
  const struct {
    const char* name;
    const char* picture;
    ControlKind kind;
  } kFields[] = {{"?PAS:CLIENTDOMAIN", "@s100", ControlKind::String},
                 {"?PAS:LOGIN", "@s100", ControlKind::String},
                 {"?PAS:PASSWORD", "@s20", ControlKind::String},
                 {"?PAS:OTHERINFO", "", ControlKind::Text}};
  for (int i = 0; i < 4; ++i)
    l.Add(kFields[i].kind, kFields[i].name, "", {50 + 2000 * i, 50, 1900, 170}).picture =
        kFields[i].picture;
  l.Add(ControlKind::Line, "?DETAILENDLINE", "", {0, 250, 8000, 0});

  l.AddBand(BandKind::Footer, "?FOOTER", {250, 10500, 8000, 250});
  l.Add(ControlKind::String, "?REPORTDATEPROMPT", "Date:", {115, 52, 344, 135}).font = arial;
  l.Add(ControlKind::String, "?REPORTDATESTAMP", "<-- Date Stamp -->", {490, 52, 927, 135}).font =
      arial;
  l.Add(ControlKind::String, "?REPORTTIMEPROMPT", "Time:", {1625, 52, 271, 135}).font = arial;
  l.Add(ControlKind::String, "?REPORTTIMESTAMP", "<-- Time Stamp -->", {1927, 52, 927, 135}).font =
      arial;
  report::ReportControl& page = l.Add(ControlKind::String, "?PAGECOUNT", "", {6950, 52, 700, 135});
  page.picture = "@pPage <<#p";
  page.pageNumber = true;

  l.AddBand(BandKind::Form, "?FORM", {250, 250, 8000, 10500});
  l.Add(ControlKind::Image, "?FORMIMAGE", "", {0, 0, 8000, 10500});
  return l;
}

void ReportPASSWORDSByPAS_KeyClientDomain() {
  PasswordsReport report;
  GlobalResponse = static_cast<uint8_t>(report.Run());
}

}  // namespace ck::app
