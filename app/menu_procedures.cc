// The procedures behind the frame's Browse and Reports menu items.
#include "app/browse_passwords.h"
#include "app/main_frame.h"
#include "app/report_passwords.h"

namespace ck::app {

FrameProcedures BuiltInFrameProcedures() {
  FrameProcedures p;
  p.browsePasswords = BrowsePASSWORDS;
  p.reportPasswords = ReportPASSWORDSByPAS_KeyClientDomain;
  return p;
}

}  // namespace ck::app
