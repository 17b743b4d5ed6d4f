// The broker thread and its message-only window ("Quorle_msg_class"). Every question reaches it by
// SendMessageW, so its state (app/broker.h) is only touched on its own thread. The message table is
// in app/messages.h.
#pragma once

#include <windows.h>

#include "app/routing_win.h"
#include "common/message_worker_win.h"

namespace app {

// Starts the broker thread in `worker` and waits until its window exists; stores it in
// routing.broker. False when the thread or its window could not be made. Stop it with kBrokerQuit.
bool StartBrokerThread(Routing* routing, win::MessageWorker& worker);

} // namespace app
