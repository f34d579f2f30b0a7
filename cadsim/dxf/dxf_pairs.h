// The group-code/value pair stream of an ASCII DXF file, read one pair at a time.
//
// A DXF file is a sequence of line pairs: a group code (an integer, possibly padded with spaces)
// and its value. The cursor splits the text into such pairs without copying it, accepts LF and
// CRLF line ends, checks that the code is a known group code and that values of numeric codes are
// finite numbers, and reports the first fault with its 1-based line number. Comments (999) are
// skipped. The cursor never reads past the text it was given, so it is safe on any input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cadsim::dxf {

enum class ValueKind { kText, kHandle, kDouble, kInteger, kBinary };

// The kind of value the group code carries, as the DXF format assigns it.
ValueKind KindOfCode(int code);

// Codes outside the ranges the format defines are refused as malformed.
bool IsKnownCode(int code);

struct RawPair {
  int code = 0;
  // Text values are as written (only the line end removed); values of every other kind, and of
  // code 0 (the record type), have surrounding white space trimmed.
  std::string_view value;
  size_t line = 0;  // the line of the group code
};

struct PairCursor {
  std::string_view text;
  size_t pos = 0;
  size_t nextLine = 1;
  // Set when Next answers kError.
  size_t errorLine = 0;
  std::string error;
};

enum class PairStatus { kPair, kEnd, kError };

PairCursor MakePairCursor(std::string_view text);

// Reads the next pair into `pair`. kEnd means only blank lines were left.
PairStatus NextPair(PairCursor& cursor, RawPair& pair);

// Parsers for values the cursor has already checked; they also refuse what the cursor would.
bool ParseDouble(std::string_view text, double& value);
bool ParseInteger(std::string_view text, int64_t& value);
// Up to 16 hexadecimal digits; anything else gives false.
bool ParseHandle(std::string_view text, uint64_t& value);

std::string_view Trim(std::string_view text);

}  // namespace cadsim::dxf
