// The plug-in's one WebSocket connection to the companion's runtime service.
//
// A minimal client over plain TCP to 127.0.0.1: Connect performs the HTTP upgrade and the hub
// handshake, a receive thread answers pings and hands every complete hub record to the hub
// protocol, Send writes one record as one masked text frame. There is one connection per process.
// The connection supervisor calls Connect and Disconnect; any thread may call Send, Tick,
// IsConnected and ConnectionGeneration. Never call Connect or Disconnect from the receive thread
// (that is, from inside the command handler). Frames themselves are built and read in
// link/ws_frame.h, the URL is split in link/ws_url.h.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "link/hub_protocol.h"

namespace OrvikWebSocket {

// (reqId, action, params) -> result text, or "__QUEUED__" when the answer is sent later.
using CommandHandler = std::function<std::string(const std::string& reqId, const std::string& action,
                                                 const std::string& params)>;

// How long a Send may wait for the peer, said by the caller.
enum class SendBudget {
  // About one second without progress, both for the send lock (another writer may be stalled
  // holding it) and for each piece of the write. For the host's main thread and for anyone holding
  // the lifecycle lock, which the main thread's reactors take: a service that stops reading must
  // not freeze the host. Giving up marks the connection down; the supervisor reconnects.
  kShort,
  // Up to the 30 s write stall limit. For threads nobody waits on: the supervisor's state
  // messages and keep-alive, the receive thread's immediate replies.
  kLong,
};

// Connects, upgrades and performs the hub handshake; true when the connection is up. Returns true
// at once if already connected. The upgrade and handshake are bounded by a time-out, and a
// Disconnect from another thread makes a Connect in progress give up promptly.
bool Connect(const std::string& url, CommandHandler handler);

// Starts the receive thread for the connection Connect just made. Connect calls it.
void StartReceiveLoop();

// Marks the connection down, interrupts a Connect in progress, stops and joins the receive thread,
// closes the socket and removes the handler. Safe against concurrent senders and the receive
// thread.
void Disconnect();

bool IsConnected();
uint64_t ConnectionGeneration();

// Sends `text` plus the record separator as one text frame. False when not connected, or when the
// send lock or the write makes no progress within the budget; a write that gives up marks the
// connection down (a frame may be half written, so the stream is unusable).
bool Send(const std::string& text, SendBudget budget);
// The long budget, for callers on threads nobody waits on.
bool Send(const std::string& text);
// Sends the record the pieces make, as Send does; large records are escaped, masked and written a
// piece at a time, never copied whole.
bool SendRecord(const RecordPiece* pieces, size_t count, SendBudget budget);

// Sends the hub keep-alive when 10 s have passed since the connection or the last keep-alive;
// concurrent callers send it once.
void Tick();

// Increments the generation, then stores the flag.
void SetConnectionState(bool connected);

// The plug-in clock (host/clock.h) in whole milliseconds.
int64_t SteadyClockMilliseconds();

// Runs the installed command handler under the handler mutex. False when none is installed.
bool InvokeHandler(const std::string& reqId, const std::string& action, const std::string& params,
                   std::string& result);

// Test hooks: the long write stall limit (30 s) and the upgrade + handshake time-out (5 s), in
// milliseconds; 0 restores the default.
void SetWriteStallTimeoutForTesting(int milliseconds);
void SetHandshakeTimeoutForTesting(int milliseconds);

}  // namespace OrvikWebSocket

// The receive thread's handling of one hub record: an invocation runs the installed command
// handler and its answer, unless it is kQueuedResult, is sent at once as a result with status
// "true". Everything else is ignored.
void HandleHubRecord(const std::string& record);
