#include "link/hub_protocol.h"

#include <cstdint>
#include <exception>

#include "host/strings.h"
#include "link/ws_frame.h"

namespace {

void AppendControlEscape(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 0x0F];
}

std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      default:
        if (c < 0x20) AppendControlEscape(out, c);
        else out += ch;
    }
  }
  return out;
}

}  // namespace

std::string ExtractJsonString(const std::string& text, size_t& cursor) {
  std::string out;
  if (cursor >= text.size()) {
    cursor = text.size();
    return out;
  }
  const size_t open = text.find('"', cursor);
  if (open == std::string::npos) {
    cursor = text.size();
    return out;
  }
  size_t i = open + 1;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"') {
      cursor = i + 1;
      return out;
    }
    if (c != '\\' || i + 1 >= text.size()) {
      out += c;
      ++i;
      continue;
    }
    const char e = text[i + 1];
    switch (e) {
      case '"': out += '"'; i += 2; continue;
      case '\\': out += '\\'; i += 2; continue;
      case '/': out += '/'; i += 2; continue;
      case 'n': out += '\n'; i += 2; continue;
      case 'r': out += '\r'; i += 2; continue;
      case 't': out += '\t'; i += 2; continue;
      case 'b': out += '\b'; i += 2; continue;
      case 'f': out += '\f'; i += 2; continue;
      case 'u': {
        const long v = ReadHex4(text, i + 2);
        if (v < 0) break;  // malformed: keep the backslash, read on normally
        i += 6;
        uint32_t cp = static_cast<uint32_t>(v);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
          const long w = (i + 1 < text.size() && text[i] == '\\' && text[i + 1] == 'u') ? ReadHex4(text, i + 2) : -1;
          if (w >= 0xDC00 && w <= 0xDFFF) {
            cp = ((cp - 0xD800) << 10) + 0x10000 + (static_cast<uint32_t>(w) - 0xDC00);
            i += 6;
          } else {
            cp = 0xFFFD;
          }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
          cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
        continue;
      }
      default:
        break;
    }
    out += '\\';
    ++i;
  }
  cursor = text.size();
  return out;
}

std::string JsonEscape(const std::string& text) { return Escape(text); }

// Document names and paths are escaped as every text the companion's strict reader parses.
std::string EscapeDocumentText(const std::string& text) { return EscapeJsonString(text); }

HubInvocation ParseHubInvocation(const std::string& record) {
  HubInvocation invocation;
  if (record.find("\"type\":") == std::string::npos) return invocation;
  const size_t target = record.find("\"target\":\"ExecuteCommand\"");
  if (target == std::string::npos) return invocation;
  static const std::string kArguments = "\"arguments\":[";
  const size_t arguments = record.find(kArguments, target);
  if (arguments == std::string::npos) return invocation;
  size_t cursor = arguments + kArguments.size();
  invocation.reqId = ExtractJsonString(record, cursor);
  invocation.action = ExtractJsonString(record, cursor);
  invocation.params = ExtractJsonString(record, cursor);
  invocation.ok = !invocation.reqId.empty() && !invocation.action.empty();
  return invocation;
}

bool ForEachHubRecord(std::string& tail, const std::string& message,
                      const std::function<void(const std::string&)>& onRecord) {
  if (tail.size() + message.size() > OrvikWebSocket::kMaxMessageBytes) return false;
  size_t start = 0;
  size_t sep = message.find(kRecordSeparator);
  if (sep == std::string::npos) {
    tail += message;
    return true;
  }
  if (!tail.empty()) {
    tail.append(message, 0, sep);
    const std::string first = std::move(tail);
    tail.clear();
    onRecord(first);
    start = sep + 1;
    sep = message.find(kRecordSeparator, start);
  }
  while (sep != std::string::npos) {
    onRecord(message.substr(start, sep - start));
    start = sep + 1;
    sep = message.find(kRecordSeparator, start);
  }
  tail.assign(message, start, std::string::npos);
  return true;
}

std::string BuildHandshakeRecord() { return std::string("{\"protocol\":\"json\",\"version\":1}") + kRecordSeparator; }

std::string BuildPingRecord() { return "{\"type\":6}"; }

std::string BuildCadResultRecord(const std::string& reqId, const std::string& status, const std::string& result) {
  if (reqId.empty()) return std::string();
  return "{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"" + JsonEscape(reqId) + "\",\"" + JsonEscape(status) +
         "\",\"" + JsonEscape(result) + "\"]}";
}

std::string BuildCadStateRecord(bool ready, const std::string& name, const std::string& path) {
  return std::string("{\"type\":1,\"target\":\"CadStateChanged\",\"arguments\":[") + (ready ? "true" : "false") +
         ",\"" + EscapeDocumentText(name) + "\",\"" + EscapeDocumentText(path) + "\"]}";
}
