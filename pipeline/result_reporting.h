// Answers to hub requests.
//
// The system sends at most one "CadResult" per request: an immediate answer goes back through the
// hub layer, a queued task's answer through OnTaskComplete (pipeline/command_queue.h), and the
// admission-time refusal straight from the dispatcher. All of them are built here.
#pragma once

#include <string>

// Sends one "CadResult" record; nothing when reqId is empty. The outcome of the send is ignored:
// an answer to a connection that is down is lost.
void SendCadResult(const std::string& reqId, const std::string& success, const std::string& message);

// The failure object of the structured results: {"success":false,"errorCode":..,"message":..}.
std::string LayoutQueueError(const std::string& code, const std::string& message);
