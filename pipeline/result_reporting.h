// Answers to hub requests and the end of a running task.
//
// The system sends at most one "CadResult" per request. OnTaskComplete is the only way out of a
// task's running state: it forgets the request in the cancellation registry, unlocks the task's
// document, clears the busy flag, sends the answer and schedules the next drain, in that order.
#pragma once

#include <string>

// Sends one "CadResult" record; nothing when reqId is empty. The outcome of the send is ignored:
// an answer to a connection that is down is lost.
void SendCadResult(const std::string& reqId, const std::string& success, const std::string& message);

// Main thread. Safe to call when no task runs: it then only answers and schedules.
void OnTaskComplete(const std::string& reqId, const std::string& message, bool success);

// The failure object of the structured results: {"success":false,"errorCode":..,"message":..}.
std::string LayoutQueueError(const std::string& code, const std::string& message);

// The command "orvik-notify-lisp-done": typed after the work a deferred task handed to the host's
// command line, it completes that task with "OK".
void orvikNotifyLispDoneCmd();
