// The simulated host's DXF reader: reads an ASCII DXF drawing (R12 to R2018) into the plain model
// of dxf_model.h, from which the engine builds its database.
//
// Both entry points take any input safely: they never throw, and a file that is not DXF, a binary
// DXF, or a damaged or truncated one gives a status and a message (with the line of the fault)
// instead of a drawing. On any status but kOk the drawing is left empty.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "cadsim/dxf/dxf_model.h"

namespace cadsim::dxf {

enum class Status {
  kOk,
  kFileNotFound,  // the path names no readable file
  kNotDxf,        // the content is not a DXF drawing at all (a DWG, text, nothing)
  kMalformed,     // DXF, but damaged or truncated; `line` says where
  kUnsupported,   // DXF this reader does not read: binary DXF, or a file too large to load
};

struct Result {
  Status status = Status::kOk;
  std::string message;  // empty on success
  size_t line = 0;      // the 1-based line of a malformed file's fault, else 0
  Drawing drawing;
};

// Larger input is refused with kUnsupported: the model takes several times the file's size, and
// the simulated host has no use for drawings that big.
constexpr size_t kMaxDxfFileBytes = size_t{256} << 20;

Result ReadFile(const std::string& path);
Result ReadText(std::string_view text);

// "ok", "file not found", "not a DXF file", "malformed DXF", "unsupported DXF".
const char* StatusText(Status status);

}  // namespace cadsim::dxf
