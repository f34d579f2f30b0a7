// The plug-in's one WebSocket connection to the companion's runtime service.
//
// A minimal client over plain TCP to 127.0.0.1: Connect performs the HTTP upgrade and the hub
// handshake, a receive thread answers pings and hands every complete hub record to the hub
// protocol, and a writer thread sends the records every other thread hands over (results,
// document states, the keep-alive), one masked text frame each, in the order they were handed
// over. There is one connection per process. The connection supervisor calls Connect and
// Disconnect; any thread may hand records over and call Tick, IsConnected and
// ConnectionGeneration. Never call Connect or Disconnect from the receive thread (that is, from
// inside the command handler). Frames themselves are built and read in link/ws_frame.h, the URL
// is split in link/ws_url.h, what waits for the writer is link/outbox.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "link/hub_protocol.h"

namespace OrvikWebSocket {

// (reqId, action, params) -> result text, or "__QUEUED__" when the answer is sent later.
using CommandHandler = std::function<std::string(const std::string& reqId, const std::string& action,
                                                 const std::string& params)>;

// How long a caller handing a record over may wait for room when what waits to be sent is at its
// bound (kOutboxBoundBytes): the writer makes room as the peer reads.
enum class SendBudget {
  // About one second; then the connection is marked down (the supervisor reconnects) and the
  // record is lost with everything else still waiting. For the host's main thread and for anyone
  // holding the lifecycle lock, which the main thread's reactors take: a service that stops
  // reading must not freeze the host.
  kShort,
  // Until there is room or the connection ends. For threads nobody waits on, like the receive
  // thread's immediate answers.
  kLong,
};

// What may wait to be sent, in bytes of record text: a dozen of the largest answers (a drawing
// with thousands of attributed title blocks answers some 17 MB), so a service that reads slowly
// but steadily never makes anyone wait, while the memory a service that stopped reading can pin
// in the host stays bounded until the write stall limit ends the connection.
constexpr size_t kOutboxBoundBytes = 256u << 20;

// Connects, upgrades and performs the hub handshake; true when the connection is up. Returns true
// at once if already connected. The upgrade and handshake are bounded by a time-out, and a
// Disconnect from another thread makes a Connect in progress give up promptly.
bool Connect(const std::string& url, CommandHandler handler);

// Starts the receive thread for the connection Connect just made. Connect calls it.
void StartReceiveLoop();

// Marks the connection down, interrupts a Connect in progress, stops and joins the receive and
// writer threads (what still waits to be sent is dropped), closes the socket and removes the
// handler. Safe against concurrent senders and the receive thread.
void Disconnect();

bool IsConnected();
uint64_t ConnectionGeneration();

// Hand a record over to the writer and return: true when it was taken (it is then sent once, after
// everything handed over before it, unless the connection ends first: then it is lost, never sent
// on another connection); false when not connected, or when no room came within the budget.
//
// A command result; the texts are moved in, so a large result is never copied.
bool SendResult(std::string reqId, std::string status, std::string result, SendBudget budget);
// A document state record (without separator). Never waits; replaces a state still waiting.
bool SendDocumentState(std::string record);
// Any other record (without separator), with the long budget.
bool Send(const std::string& text);

// Waits until everything handed over has been written, the connection ends or `milliseconds`
// pass; true when nothing is left. For unload, so the last answers leave before the socket closes.
bool Flush(int milliseconds);

// Writes the record the pieces make, plus the record separator, as one text frame now, under the
// send lock, giving up when the peer makes no progress for the write stall limit (30 s); a write
// that gives up marks the connection down (a frame may be half written, so the stream is
// unusable). The record is escaped, masked and written a piece at a time, never copied whole. The
// writer's own write: everyone else hands records over instead.
bool SendRecord(const RecordPiece* pieces, size_t count);

// Hands the hub keep-alive over when 10 s have passed since the connection or the last
// keep-alive; concurrent callers hand it over once. Never waits for room: a keep-alive behind a
// full outbox would tell the peer nothing.
void Tick();

// Increments the generation, then stores the flag.
void SetConnectionState(bool connected);

// The plug-in clock (host/clock.h) in whole milliseconds.
int64_t SteadyClockMilliseconds();

// Runs the installed command handler under the handler mutex. False when none is installed.
bool InvokeHandler(const std::string& reqId, const std::string& action, const std::string& params,
                   std::string& result);

// Test hooks: the write stall limit (30 s), the upgrade + handshake time-out (5 s), in
// milliseconds, and the outbox's bound in bytes; 0 restores the default.
void SetWriteStallTimeoutForTesting(int milliseconds);
void SetHandshakeTimeoutForTesting(int milliseconds);
void SetOutboxBoundForTesting(size_t bytes);

}  // namespace OrvikWebSocket

// The receive thread's handling of one hub record: an invocation runs the installed command
// handler and its answer, unless it is kQueuedResult, is handed to the writer at once as a result
// with status "true". Everything else is ignored.
void HandleHubRecord(const std::string& record);
