#include "layouts/drawing_snapshot.h"

#include <algorithm>

namespace OrvikDrawingLayouts {

const char* const kCancelledCode = "drawing_layouts_cancelled";
const char* const kCancelledMessage = "The layout query was cancelled or disconnected.";

namespace {

bool NeedsEscape(unsigned char c) { return c < 0x20 || c == '"' || c == '\\'; }

// Upper bound of what a snapshot writes besides its texts, so one answer of 200 drawings grows
// its buffer a few times instead of once per token.
size_t EstimateSize(const Snapshot& s) {
  size_t size = 128 + s.dwgPath.size() + s.displayName.size() + s.errorMessage.size();
  for (const Layout& layout : s.layouts) {
    size += 64 + layout.name.size() + layout.handle.size() + layout.blockErrorMessage.size();
    for (const Block& block : layout.blocks) {
      size += 64 + block.blockName.size() + block.blockHandle.size();
      for (const Attribute& a : block.attributes) size += 24 + a.tag.size() + a.value.size();
    }
  }
  return size;
}

}  // namespace

void AppendQuoted(std::string& out, const std::string& text) {
  static const char kHex[] = "0123456789abcdef";
  out.push_back('"');
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    // Copy the longest run that needs nothing, then escape one byte: names and values are mostly
    // plain text, and a run copies at memcpy speed.
    const char* run = p;
    while (p < end && !NeedsEscape(static_cast<unsigned char>(*p))) ++p;
    out.append(run, static_cast<size_t>(p - run));
    if (p == end) break;
    const unsigned char c = static_cast<unsigned char>(*p++);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(c));
    } else {
      const char escape[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      out.append(escape, sizeof escape);
    }
  }
  out.push_back('"');
}

std::string Quote(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendQuoted(out, text);
  return out;
}

void AppendSerialized(std::string& out, const Snapshot& s) {
  // Geometric growth: some libraries' reserve allocates exactly what is asked, and an answer of
  // 200 snapshots would then be copied whole once per snapshot.
  const size_t needed = out.size() + EstimateSize(s);
  if (needed > out.capacity()) out.reserve(std::max(needed, out.capacity() * 2));
  out += "{\"dwgPath\":";
  AppendQuoted(out, s.dwgPath);
  out += ",\"displayName\":";
  AppendQuoted(out, s.displayName);
  out += s.hasFilePath ? ",\"hasFilePath\":true" : ",\"hasFilePath\":false";
  out += ",\"layouts\":[";
  for (size_t i = 0; i < s.layouts.size(); ++i) {
    const Layout& layout = s.layouts[i];
    if (i) out.push_back(',');
    out += "{\"name\":";
    AppendQuoted(out, layout.name);
    out += ",\"handle\":";
    AppendQuoted(out, layout.handle);
    out += ",\"tabOrder\":";
    out += std::to_string(layout.tabOrder);
    if (s.includeBlocks) {
      if (layout.blockErrorCode.empty()) {
        out += ",\"blocks\":[";
        for (size_t b = 0; b < layout.blocks.size(); ++b) {
          const Block& block = layout.blocks[b];
          if (b) out.push_back(',');
          out += "{\"blockName\":";
          AppendQuoted(out, block.blockName);
          out += ",\"blockHandle\":";
          AppendQuoted(out, block.blockHandle);
          out += ",\"attributes\":[";
          for (size_t a = 0; a < block.attributes.size(); ++a) {
            if (a) out.push_back(',');
            out += "{\"tag\":";
            AppendQuoted(out, block.attributes[a].tag);
            out += ",\"value\":";
            AppendQuoted(out, block.attributes[a].value);
            out.push_back('}');
          }
          out += "]}";
        }
        out.push_back(']');
      } else {
        out += ",\"blockError\":{\"code\":";
        AppendQuoted(out, layout.blockErrorCode);
        out += ",\"message\":";
        AppendQuoted(out, layout.blockErrorMessage);
        out.push_back('}');
      }
    }
    out.push_back('}');
  }
  out.push_back(']');
  if (s.includeBlocks) {
    out += ",\"blocksIncluded\":true,\"blockReadMode\":";
    AppendQuoted(out, s.blockReadMode);
  }
  if (!s.errorCode.empty()) {
    out += ",\"error\":{\"code\":";
    AppendQuoted(out, s.errorCode);
    out += ",\"message\":";
    AppendQuoted(out, s.errorMessage);
    out.push_back('}');
  }
  out.push_back('}');
}

std::string Serialize(const Snapshot& snapshot) {
  std::string out;
  AppendSerialized(out, snapshot);
  return out;
}

void SetError(Snapshot& snapshot, const std::string& code, const std::string& message) {
  snapshot.errorCode = code;
  snapshot.errorMessage = message;
}

void SetBlockError(Layout& layout, const std::string& code, const std::string& message,
                   Acad::ErrorStatus status) {
  layout.blocks.clear();
  layout.blockErrorCode = code;
  layout.blockErrorMessage = message;
  layout.blockContextError = ContextError(status);
}

bool ContextError(Acad::ErrorStatus status) {
  switch (static_cast<int>(status)) {
    case 2:
    case 35:
    case 124:
    case 250:
    case 330:
      return true;
    default:
      return false;
  }
}

std::string StatusMessage(const std::string& text, Acad::ErrorStatus status) {
  return text + " (CAD status " + std::to_string(static_cast<int>(status)) + ").";
}

std::string DisplayName(const std::string& path) {
  const size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

bool Continue(const std::function<bool()>& keepGoing) { return !keepGoing || keepGoing(); }

}  // namespace OrvikDrawingLayouts
