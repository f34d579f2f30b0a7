// Turns a DXF drawing into a database of the simulated host.
#include "cadsim/engine/state.h"

namespace cadsim {

Acad::ErrorStatus readDxfInto(AcDbDatabase*, const std::string&) {
  // The DXF reader is not part of this build yet.
  return Acad::eDxfReadAborted;
}

}  // namespace cadsim
