// The procedures behind the frame's Browse and Reports menu items.
#include "app/main_frame.h"

namespace ck::app {

FrameProcedures BuiltInFrameProcedures() {
  FrameProcedures p;
  // Browse / "PASSWORDS LIST" starts BrowsePASSWORDS here once the password
  // list window exists; Reports / "PRINT PASSWORDS LIST" starts
  // ReportPASSWORDSByPAS:KeyClientDomain once the list report exists.
  // Until then both items tell the user that they are not available.
  return p;
}

}  // namespace ck::app
