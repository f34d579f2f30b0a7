// Feeds arbitrary bytes through the DXF reader into a database of the simulated host: whatever a
// drawing file holds (dangling handles, missing blocks, odd owners), the import answers a status,
// never crashes, and leaves no object open and no host fault behind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "cadsim/control.h"
#include "cadsim/engine/database_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool once = (cadsim::reset(), true);
  (void)once;
  {
    AcDbDatabase db(false, true);
    cadsim::readDxfTextInto(&db, std::string_view(reinterpret_cast<const char*>(data), size));
    if (!cadsim::openObjects().empty()) std::abort();
  }
  if (!cadsim::faultLog().empty()) std::abort();
  return 0;
}
