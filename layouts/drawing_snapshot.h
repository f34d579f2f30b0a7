// The layout snapshot of one drawing: its paper-space layouts, and on request the attributed block
// references on each, as the drawing layouts query reports them; the helpers its readers record
// errors with; and the exact JSON text a snapshot is written as.
//
// Every text field is UTF-8; host wide text is converted when it is stored. A snapshot with an
// error may still list the layouts read before the error (a cancellation, an unsaved drawing, a
// fallback that could not put the user's drawing back), so readers never assume one excludes the
// other.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/acad.h"

namespace OrvikDrawingLayouts {

struct Attribute {
  std::string tag;
  std::string value;  // plain text for a multi-line attribute
};

struct Block {
  std::string blockName;  // a dynamic block's dynamic definition, never its anonymous copy
  std::string blockHandle;
  uint64_t handleValue = 0;  // sort key only; not written
  std::vector<Attribute> attributes;  // never empty
};

struct Layout {
  std::string name;
  std::string handle;
  int32_t tabOrder = 0;
  std::vector<Block> blocks;
  std::string blockErrorCode;  // non-empty: `blocks` is empty
  std::string blockErrorMessage;
  bool blockContextError = false;  // decides the read-only fallback; not written
};

struct Snapshot {
  std::string dwgPath;  // empty for an unsaved drawing
  std::string displayName;
  bool hasFilePath = false;
  std::vector<Layout> layouts;
  std::string errorCode;
  std::string errorMessage;
  bool includeBlocks = false;  // also decides which keys are written
  std::string blockReadMode;   // "sideDatabase", "openDocument" or "documentFallback"
  bool contextError = false;   // decides the read-only fallback; not written
};

// A JSON string literal, quotes included. Every byte below 0x20 becomes \u00xx (no short escapes),
// quote and backslash are escaped, and every other byte passes unchanged, so UTF-8 stays raw.
std::string Quote(const std::string& text);
// Appends Quote(text) to `out` without a temporary.
void AppendQuoted(std::string& out, const std::string& text);

// The snapshot's JSON, no whitespace, keys in fixed order.
std::string Serialize(const Snapshot& snapshot);
// Appends Serialize(snapshot) to `out`, so a whole answer is built in one buffer.
void AppendSerialized(std::string& out, const Snapshot& snapshot);

// Overwrites the error; leaves `layouts` and `contextError` alone.
void SetError(Snapshot& snapshot, const std::string& code, const std::string& message);
// Empties the layout's blocks and records the error, with whether `status` is a context error.
void SetBlockError(Layout& layout, const std::string& code, const std::string& message,
                   Acad::ErrorStatus status);

// The statuses a read fails with when the drawing is readable but not in this context: the only
// failures the read-only document fallback may retry.
bool ContextError(Acad::ErrorStatus status);

// "<text> (CAD status <status>)."
std::string StatusMessage(const std::string& text, Acad::ErrorStatus status);

// The part after the last slash or backslash; the whole path when it has neither.
std::string DisplayName(const std::string& path);

// The answer of the cancellation callback; an empty callback never cancels.
bool Continue(const std::function<bool()>& keepGoing);

// Codes and messages shared by the readers and the query.
extern const char* const kCancelledCode;
extern const char* const kCancelledMessage;

}  // namespace OrvikDrawingLayouts
