#include "link/hub_protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
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

// The escape of one byte below 0x80 that cannot stand in a JSON string as it is, into `out` (room
// for 6 bytes); returns its size.
size_t WriteAsciiEscape(unsigned char c, char* out) {
  static const char kHex[] = "0123456789abcdef";
  out[0] = '\\';
  switch (c) {
    case '\t': out[1] = 't'; return 2;
    case '\n': out[1] = 'n'; return 2;
    case '\r': out[1] = 'r'; return 2;
    case '"': out[1] = '"'; return 2;
    case '\\': out[1] = '\\'; return 2;
    default:
      std::memcpy(out + 1, "u00", 3);
      out[4] = kHex[c >> 4];
      out[5] = kHex[c & 0x0F];
      return 6;
  }
}

// What each byte becomes in a record text: 1 (itself), 2 or 6 (the size of its escape), or 0 (the
// first byte of a UTF-8 sequence, or no character at all: the sequence decides).
// For kinds 1 and 2, `first` and `second` are what is written (the second byte of a kind 1 is
// overwritten by what follows), so the common bytes of JSON results take no branch of their own.
struct ByteKinds {
  uint8_t kind[256];
  char first[256];
  char second[256];
  constexpr ByteKinds() : kind(), first(), second() {
    for (int c = 0; c < 256; ++c) {
      kind[c] = c >= 0x80 ? 0 : c >= 0x20 ? 1 : 6;
      first[c] = static_cast<char>(c);
    }
    const char twoByte[][2] = {{'\t', 't'}, {'\n', 'n'}, {'\r', 'r'}, {'"', '"'}, {'\\', '\\'}};
    for (const auto& e : twoByte) {
      kind[static_cast<unsigned char>(e[0])] = 2;
      first[static_cast<unsigned char>(e[0])] = '\\';
      second[static_cast<unsigned char>(e[0])] = e[1];
    }
  }
};
constexpr ByteKinds kBytes;

// The length of the well-formed UTF-8 sequence that starts `text` (a byte of 0x80 or more), or 0:
// no overlong forms, no surrogates, nothing above U+10FFFF.
size_t Utf8SequenceLength(const unsigned char* s, size_t left) {
  const unsigned char c = s[0];
  const auto tail = [&](size_t i) { return i < left && (s[i] & 0xC0) == 0x80; };
  if (c >= 0xC2 && c <= 0xDF) return tail(1) ? 2 : 0;
  if (c >= 0xE0 && c <= 0xEF) {
    if (!tail(1) || !tail(2)) return 0;
    if (c == 0xE0 && s[1] < 0xA0) return 0;  // overlong
    if (c == 0xED && s[1] >= 0xA0) return 0;  // a surrogate
    return 3;
  }
  if (c >= 0xF0 && c <= 0xF4) {
    if (!tail(1) || !tail(2) || !tail(3)) return 0;
    if (c == 0xF0 && s[1] < 0x90) return 0;  // overlong
    if (c == 0xF4 && s[1] >= 0x90) return 0;  // above U+10FFFF
    return 4;
  }
  return 0;
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";

#if !(defined(__GNUC__))
// Eight bytes that hold nothing but printable ASCII other than the quote and the backslash give 0.
// A subtraction borrows out of a byte only when that byte is one looked for, so the test is exact.
inline uint64_t NeedsEscapeOrCheck(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  return ((w - kOnes * 0x20) | ((w ^ (kOnes * '"')) - kOnes) | ((w ^ (kOnes * '\\')) - kOnes) | w) & kHigh;
}
#endif

// True when the 16 bytes at `s`, also returned as two words, are all plain. Compilers that know
// vector types test them in a few vector instructions on any target; others test two words.
inline bool PlainSixteen(const unsigned char* s, uint64_t& w0, uint64_t& w1) {
  std::memcpy(&w0, s, 8);
  std::memcpy(&w1, s + 8, 8);
#if defined(__GNUC__)
  typedef uint8_t Bytes16 __attribute__((vector_size(16)));
  Bytes16 v;
  std::memcpy(&v, s, 16);
  const Bytes16 flagged = (v < 0x20) | (v == '"') | (v == '\\') | (v >= 0x80);
  uint64_t f[2];
  std::memcpy(f, &flagged, 16);
  return (f[0] | f[1]) == 0;
#else
  return (NeedsEscapeOrCheck(w0) | NeedsEscapeOrCheck(w1)) == 0;
#endif
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

size_t EscapedRecordTextSize(std::string_view text) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t size = 0;
  size_t i = 0;
  while (i < n) {
    uint64_t w0, w1;
    if (i + 16 <= n && PlainSixteen(s + i, w0, w1)) {
      i += 16;
      size += 16;
      continue;
    }
    // Bytes that need a look are read one at a time, up to the next block.
    const size_t stop = std::min(n, i + 16);
    while (i < stop) {
      const uint8_t kind = kBytes.kind[s[i]];
      if (kind != 0) {
        size += kind;
        ++i;
      } else if (const size_t length = Utf8SequenceLength(s + i, n - i)) {
        size += length;
        i += length;
      } else {
        size += 3;
        ++i;
      }
    }
  }
  return size;
}

size_t EscapeRecordText(std::string_view text, size_t& from, char* out, size_t room, const uint8_t* key,
                        uint64_t keyOffset) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = from;
  size_t o = 0;
  // Plain blocks are masked as they are stored; what the byte paths write, out[pending..o), is
  // masked in one go when the next plain block comes or at the end, while it is still in the cache.
  uint64_t maskWords[4] = {0, 0, 0, 0};
  if (key) {
    for (int phase = 0; phase < 4; ++phase) {
      const uint8_t pattern[8] = {key[phase], key[(phase + 1) % 4], key[(phase + 2) % 4], key[(phase + 3) % 4],
                                  key[phase], key[(phase + 1) % 4], key[(phase + 2) % 4], key[(phase + 3) % 4]};
      std::memcpy(&maskWords[phase], pattern, 8);
    }
  }
  size_t pending = 0;
  const auto maskPending = [&] {
    if (key && pending < o) OrvikWebSocket::MaskAt(out + pending, o - pending, keyOffset + pending, key);
    pending = o;
  };
  // While 16 bytes of room are left, any character or escape fits: blocks of plain ASCII are copied
  // whole, other blocks a byte at a time. Near the end of the room every character is measured
  // first.
  while (i < n && room - o >= 16) {
    uint64_t w0, w1;
    if (i + 16 <= n && PlainSixteen(s + i, w0, w1)) {
      maskPending();
      const uint64_t mask = maskWords[(keyOffset + o) % 4];
      w0 ^= mask;
      w1 ^= mask;
      std::memcpy(out + o, &w0, 8);
      std::memcpy(out + o + 8, &w1, 8);
      i += 16;
      o += 16;
      pending = o;
      continue;
    }
    const size_t stop = std::min(n, i + 16);
    while (i < stop && room - o >= 6) {
      const unsigned char c = s[i];
      const uint8_t kind = kBytes.kind[c];
      if (static_cast<uint8_t>(kind - 1) < 2) {
        out[o] = kBytes.first[c];
        out[o + 1] = kBytes.second[c];
        o += kind;
        ++i;
      } else if (kind != 0) {
        o += WriteAsciiEscape(c, out + o);
        ++i;
      } else if (const size_t length = Utf8SequenceLength(s + i, n - i)) {
        std::memcpy(out + o, s + i, length);
        o += length;
        i += length;
      } else {
        std::memcpy(out + o, kReplacement, 3);
        o += 3;
        ++i;
      }
    }
  }
  while (i < n) {
    const unsigned char c = s[i];
    const uint8_t kind = kBytes.kind[c];
    const size_t length = kind != 0 ? 1 : Utf8SequenceLength(s + i, n - i);
    const size_t need = kind != 0 ? kind : length != 0 ? length : 3;
    if (room - o < need) break;
    if (kind == 1) out[o] = static_cast<char>(c);
    else if (kind != 0) WriteAsciiEscape(c, out + o);
    else if (length != 0) std::memcpy(out + o, s + i, length);
    else std::memcpy(out + o, kReplacement, 3);
    o += need;
    i += length != 0 ? length : 1;
  }
  maskPending();
  from = i;
  return o;
}

size_t RecordSize(const RecordPiece* pieces, size_t count) {
  size_t size = 0;
  for (size_t i = 0; i < count; ++i) size += pieces[i].escaped ? EscapedRecordTextSize(pieces[i].text) : pieces[i].text.size();
  return size;
}

std::string JoinRecord(const RecordPiece* pieces, size_t count) {
  std::string out(RecordSize(pieces, count), '\0');
  size_t o = 0;
  for (size_t i = 0; i < count; ++i) {
    const RecordPiece& piece = pieces[i];
    if (!piece.escaped) {
      std::memcpy(&out[o], piece.text.data(), piece.text.size());
      o += piece.text.size();
      continue;
    }
    size_t from = 0;
    o += EscapeRecordText(piece.text, from, &out[o], out.size() - o);
  }
  return out;
}

std::array<RecordPiece, 7> CadResultRecordPieces(std::string_view reqId, std::string_view status,
                                                 std::string_view result) {
  return {RecordPiece{"{\"type\":1,\"target\":\"CadResult\",\"arguments\":[\"", false}, RecordPiece{reqId, true},
          RecordPiece{"\",\"", false}, RecordPiece{status, true}, RecordPiece{"\",\"", false},
          RecordPiece{result, true}, RecordPiece{"\"]}", false}};
}

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
  const auto pieces = CadResultRecordPieces(reqId, status, result);
  return JoinRecord(pieces.data(), pieces.size());
}

std::string BuildCadStateRecord(bool ready, const std::string& name, const std::string& path) {
  return std::string("{\"type\":1,\"target\":\"CadStateChanged\",\"arguments\":[") + (ready ? "true" : "false") +
         ",\"" + EscapeDocumentText(name) + "\",\"" + EscapeDocumentText(path) + "\"]}";
}
