// The hub records exchanged with the runtime service over the WebSocket.
//
// Every record is a JSON text followed by the record separator 0x1E. This unit owns the exact text
// of every record the plug-in sends (handshake, keep-alive, command result, document state), the
// reading of incoming command invocations, and the splitting of received messages into records.
// Everything here is pure and usable from any thread; the receive thread's handling of a record
// (link/websocket.h, HandleHubRecord) runs the handler and sends its answer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The record separator that ends every hub record.
constexpr char kRecordSeparator = '\x1E';

// The handler's answer meaning "the result is sent later".
constexpr const char* kQueuedResult = "__QUEUED__";

struct HubInvocation {
  bool ok = false;
  std::string reqId;
  std::string action;
  std::string params;
};

// Reads an "ExecuteCommand" invocation; ok is false for anything else (handshake replies, pings,
// other targets, an empty request identifier or action).
HubInvocation ParseHubInvocation(const std::string& record);

// Calls `onRecord` for every complete record of `tail` + `message` (without its separator) and
// keeps an unfinished last record in `tail` for the next message. False when the unfinished record
// would grow beyond the message size limit; the connection must then be dropped.
bool ForEachHubRecord(std::string& tail, const std::string& message,
                      const std::function<void(const std::string&)>& onRecord);

// Reads the next JSON string at or after `cursor` and moves the cursor past it. Escapes are
// decoded (\uXXXX too, surrogate pairs joined, unpaired surrogates become U+FFFD); a malformed
// \u escape stays as written; an unterminated string gives what was read, cursor at the end.
std::string ExtractJsonString(const std::string& text, size_t& cursor);

// Escaping of result texts: \t \n \r \" \\ and every other byte below 0x20 as \u00XX.
std::string JsonEscape(const std::string& text);

// Escaping of the document name and path: \b \t \n \f \r \" \\ and every other byte below 0x20
// as \u00XX (lower-case hex); the same output as the request codec's escaper.
std::string EscapeDocumentText(const std::string& text);

// {"protocol":"json","version":1} with its own separator.
std::string BuildHandshakeRecord();

// {"type":6}, without separator (Send adds it).
std::string BuildPingRecord();

// One piece of a record's text: written as it is, or as the content of a JSON string.
struct RecordPiece {
  std::string_view text;
  bool escaped = false;
};

// Escaping of record texts, as JsonEscape, except that every byte that is not part of a
// well-formed UTF-8 sequence becomes U+FFFD: the service fails the whole connection on a text
// frame that is not UTF-8, and the record would be lost with it.
size_t EscapedRecordTextSize(std::string_view text);
// Writes the escaped form of text[from..] into `out`, at most `room` bytes and never part of an
// escape or a character; advances `from` and returns the count written. It always makes progress
// when `room` is 6 bytes or more. With a masking key, what it writes is masked as the payload of a
// client frame from `keyOffset` bytes into the payload on, so a record is escaped straight into
// its frame.
size_t EscapeRecordText(std::string_view text, size_t& from, char* out, size_t room, const uint8_t* key = nullptr,
                        uint64_t keyOffset = 0);

// The size of the record the pieces make, and the record itself.
size_t RecordSize(const RecordPiece* pieces, size_t count);
std::string JoinRecord(const RecordPiece* pieces, size_t count);

// The pieces of the command result record: views of the arguments, which must outlive them (a
// literal does; a temporary string does not). The identifier and the result are record texts
// (EscapeRecordText).
std::array<RecordPiece, 7> CadResultRecordPieces(std::string_view reqId, std::string_view status,
                                                 std::string_view result);

// The command result record, without separator; empty when reqId is empty.
std::string BuildCadResultRecord(const std::string& reqId, const std::string& status, const std::string& result);

// The document state record, without separator.
std::string BuildCadStateRecord(bool ready, const std::string& name, const std::string& path);
