#include "layouts/cancellation_registry.h"

#include "link/websocket.h"

#include "host/clock.h"

namespace OrvikDrawingLayouts {
namespace {

constexpr size_t kMaxRequestIdBytes = 256;
constexpr size_t kMaxPendingCancellations = 1024;
constexpr std::chrono::minutes kPendingLifetime{5};

bool StillHonoured(std::chrono::steady_clock::time_point arrived,
                   std::chrono::steady_clock::time_point now) {
  return now - arrived <= kPendingLifetime;
}

}  // namespace

std::mutex& CancellationMutex() {
  static std::mutex mutex;
  return mutex;
}

std::unordered_map<std::string, QueryCancellation>& ActiveQueries() {
  static std::unordered_map<std::string, QueryCancellation> active;
  return active;
}

std::unordered_map<std::string, std::chrono::steady_clock::time_point>& Cancellations() {
  static std::unordered_map<std::string, std::chrono::steady_clock::time_point> pending;
  return pending;
}

void RegisterQuery(const std::string& requestId, uint64_t connectionGeneration) {
  std::lock_guard<std::mutex> lock(CancellationMutex());
  auto& pending = Cancellations();
  const auto found = pending.find(requestId);
  const bool cancelled =
      found != pending.end() && StillHonoured(found->second, OrvikClock::Now());
  ActiveQueries().emplace(requestId, QueryCancellation{cancelled, connectionGeneration});
  if (found != pending.end()) pending.erase(found);
}

void Cancel(const std::string& requestId) {
  if (requestId.empty() || requestId.size() > kMaxRequestIdBytes) return;
  std::lock_guard<std::mutex> lock(CancellationMutex());
  auto& active = ActiveQueries();
  const auto running = active.find(requestId);
  if (running != active.end()) {
    running->second.cancelled = true;
    return;
  }
  auto& pending = Cancellations();
  const auto now = OrvikClock::Now();
  for (auto it = pending.begin(); it != pending.end();) {
    it = StillHonoured(it->second, now) ? std::next(it) : pending.erase(it);
  }
  pending[requestId] = now;
  if (pending.size() > kMaxPendingCancellations) {
    // The cancel just stored is the newest; on a tie of time points it must not be the one to go.
    auto oldest = pending.end();
    for (auto it = pending.begin(); it != pending.end(); ++it) {
      if (it->first == requestId) continue;
      if (oldest == pending.end() || it->second < oldest->second) oldest = it;
    }
    pending.erase(oldest);
  }
}

bool IsCancelled(const std::string& requestId) {
  std::lock_guard<std::mutex> lock(CancellationMutex());
  const auto& active = ActiveQueries();
  const auto running = active.find(requestId);
  if (running != active.end()) return running->second.cancelled;
  const auto& pending = Cancellations();
  const auto found = pending.find(requestId);
  return found != pending.end() && StillHonoured(found->second, OrvikClock::Now());
}

bool IsCurrentConnection(const std::string& requestId, uint64_t connectionGeneration) {
  std::lock_guard<std::mutex> lock(CancellationMutex());
  const auto& active = ActiveQueries();
  const auto running = active.find(requestId);
  return running != active.end() && running->second.connectionGeneration == connectionGeneration;
}

void FinishQuery(const std::string& requestId) {
  std::lock_guard<std::mutex> lock(CancellationMutex());
  ActiveQueries().erase(requestId);
  Cancellations().erase(requestId);
}

bool QueryMayContinue(const std::string& requestId) {
  if (IsCancelled(requestId)) return false;
  if (!OrvikWebSocket::IsConnected()) return false;
  return IsCurrentConnection(requestId, OrvikWebSocket::ConnectionGeneration());
}

}  // namespace OrvikDrawingLayouts
