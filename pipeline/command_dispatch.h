// The single entry from the hub protocol into the command pipeline, and the branch the drain runs
// for each kind of task.
//
// HandleCommand runs on the connection's receiving thread under the hub handler mutex. It answers
// a few actions on the spot and queues every other one; "__QUEUED__" tells the hub layer that the
// answer is (or already was) sent by SendCadResult. It never touches a drawing.
#pragma once

#include <string>

#include "host/acad.h"
#include "pipeline/command_queue.h"

std::string HandleCommand(const std::string& reqId, const std::string& action, const std::string& params);

// False for the actions that name their drawing themselves (or open it); true for every other
// name, including names that are not actions.
bool ActionUsesActiveDocument(const std::string& action);

// Removes one leading and one trailing double quote; no unescaping.
std::string QuoteStripped(const std::string& text);

// Main thread, application context: runs the action of a task that passed its readiness check.
// Either completes the task before returning or hands it to a host command that completes it.
void RunTaskBranch(const CommandTask& task, AcApDocManager* manager);
