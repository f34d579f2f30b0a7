// Answers to hub requests.
//
// The system sends at most one "CadResult" per request: an immediate answer goes back through the
// hub layer, a queued task's answer through OnTaskComplete (pipeline/command_queue.h), and the
// admission-time refusal straight from the dispatcher. All of them are built here.
#pragma once

#include <string>

// Hands one "CadResult" record to the link's writer and returns at once (the message is moved in,
// not copied); nothing when reqId is empty. Only when what waits to be sent is at its bound does
// it wait, about a second at most, and then the connection is dropped. The outcome is ignored: an
// answer to a connection that is down, or that drops before the answer leaves, is lost.
void SendCadResult(const std::string& reqId, const std::string& success, std::string message);

// The failure object of the structured results: {"success":false,"errorCode":..,"message":..}.
std::string LayoutQueueError(const std::string& code, const std::string& message);
