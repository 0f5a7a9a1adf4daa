#include "app/globals.h"

#include <memory>

#include "framework/error_manager.h"
#include "framework/fuzzy_matcher.h"
#include "framework/settings_manager.h"

namespace ck::app {

namespace {
// Cleared to spaces when the process starts.
char gPass[kPassLength] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                           ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                           ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ',
                           ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
}  // namespace

thread_local uint8_t GlobalRequest = 0;
thread_local uint8_t GlobalResponse = 0;
thread_local long VCRRequest = 0;

FixedText G_PASS() { return FixedText(gPass, kPassLength); }

SettingsManager& INIMgr() {
  static SettingsManager manager;
  return manager;
}

FuzzyMatcher& FuzzyMatcherObject() {
  static FuzzyMatcher matcher;
  return matcher;
}

}  // namespace ck::app
