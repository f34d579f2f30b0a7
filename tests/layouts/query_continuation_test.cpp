// A running layout query stops at its next check once it is cancelled or its connection is gone.
#include <gtest/gtest.h>

#include "layouts/cancellation_registry.h"
#include "link/websocket.h"

namespace {

TEST(QueryContinuation, StopsOnCancelOnDisconnectAndAfterAReconnect) {
  OrvikWebSocket::SetConnectionState(true);
  OrvikDrawingLayouts::RegisterQuery("q", OrvikWebSocket::ConnectionGeneration());
  EXPECT_TRUE(OrvikDrawingLayouts::QueryMayContinue("q"));

  // The connection drops and comes back: the query belongs to the old one and stops.
  OrvikWebSocket::SetConnectionState(false);
  EXPECT_FALSE(OrvikDrawingLayouts::QueryMayContinue("q"));
  OrvikWebSocket::SetConnectionState(true);
  EXPECT_FALSE(OrvikDrawingLayouts::QueryMayContinue("q"));
  OrvikDrawingLayouts::FinishQuery("q");

  OrvikDrawingLayouts::RegisterQuery("r", OrvikWebSocket::ConnectionGeneration());
  EXPECT_TRUE(OrvikDrawingLayouts::QueryMayContinue("r"));
  OrvikDrawingLayouts::Cancel("r");
  EXPECT_FALSE(OrvikDrawingLayouts::QueryMayContinue("r"));
  OrvikDrawingLayouts::FinishQuery("r");
  OrvikWebSocket::SetConnectionState(false);
}

}  // namespace
