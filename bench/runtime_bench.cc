// Costs of the core runtime that the program pays per user action: a
// settings write (one per window close and key), a settings read, a field
// comparison (per row of a locator or filter) and the 1252 upper-casing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "runtime/field_ref.h"
#include "runtime/fixed_string.h"
#include "runtime/ini_file.h"

namespace {

std::string SettingsFile() {
  std::string file = "/tmp/ck_runtime_bench.ini";
  std::remove(file.c_str());
  for (int s = 0; s < 20; ++s) {
    ck::UpdateIniSection(file, "Window" + std::to_string(s),
                         {{"Maximize", "No"}, {"Minimize", "No"}, {"XPos", "10"},
                          {"YPos", "20"}, {"Width", "300"}, {"Height", "200"}});
  }
  return file;
}

void BM_IniWriteOneKey(benchmark::State& state) {
  std::string file = SettingsFile();
  int i = 0;
  for (auto _ : state) ck::WriteIniString(file, "Window7", "Width", std::to_string(i++));
  std::remove(file.c_str());
}
BENCHMARK(BM_IniWriteOneKey)->Unit(benchmark::kMillisecond);

void BM_IniWriteWindowState(benchmark::State& state) {
  std::string file = SettingsFile();
  int i = 0;
  for (auto _ : state) {
    std::string v = std::to_string(i++);
    ck::UpdateIniSection(file, "Window7", {{"Maximize", "No"}, {"Minimize", "No"},
                                           {"XPos", v}, {"YPos", v}, {"Width", v}, {"Height", v}});
  }
  std::remove(file.c_str());
}
BENCHMARK(BM_IniWriteWindowState)->Unit(benchmark::kMillisecond);

void BM_IniRead(benchmark::State& state) {
  std::string file = SettingsFile();
  for (auto _ : state) benchmark::DoNotOptimize(ck::ReadIniString(file, "Window19", "Height", ""));
  std::remove(file.c_str());
}
BENCHMARK(BM_IniRead)->Unit(benchmark::kMicrosecond);

void BM_CompareStringFieldsNoCase(benchmark::State& state) {
  char a[100], b[100];
  ck::FieldRef fa(a, 100, ck::fieldtype::STRING), fb(b, 100, ck::fieldtype::STRING);
  fa.Assign("www.example-domain.com");
  fb.Assign("WWW.EXAMPLE-DOMAIN.COM");
  for (auto _ : state) benchmark::DoNotOptimize(fa.Compare(fb, true));
}
BENCHMARK(BM_CompareStringFieldsNoCase);

void BM_CompareDecimalWithLong(benchmark::State& state) {
  unsigned char d[8], l[4];
  ck::FieldRef fd(d, 8, ck::fieldtype::DECIMAL, 2), fl(l, 4, ck::fieldtype::LONG);
  fd.Assign("123456.78");
  fl.Assign("123456");
  for (auto _ : state) benchmark::DoNotOptimize(fd.Compare(fl));
}
BENCHMARK(BM_CompareDecimalWithLong);

}  // namespace

BENCHMARK_MAIN();
