// The two thumbnail worker threads, one per pane, each with a message-only window
// ("Quorle_thumb1_class", "Quorle_thumb2_class"). A worker announces its window to the main window
// with kMainWorkerReady and then serves the protocol in app/messages.h until kThumbQuit.
//
// This worker has no production yet: it is always idle, so every load request goes straight back
// to the pane window and every stop back to the broker.
#pragma once

#include <windows.h>

#include "app/routing_win.h"
#include "common/scoped_win.h"

namespace thumbs {

// Starts worker `index` (0 or 1); it posts kMainWorkerReady to routing->main once its window exists.
win::Handle StartThumbWorker(app::Routing* routing, int index);

} // namespace thumbs
