// The broker thread and its message-only window ("Quorle_msg_class"). Every question reaches it by
// SendMessageW, so its state (app/broker.h) is only touched on its own thread. The message table is
// in app/messages.h.
#pragma once

#include <windows.h>

#include "app/routing_win.h"
#include "common/scoped_win.h"

namespace app {

// Starts the broker thread and waits until its window exists; stores it in routing.broker.
// Returns the thread, or an empty handle when the thread or its window could not be made.
win::Handle StartBrokerThread(Routing* routing);

} // namespace app
