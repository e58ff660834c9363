// The plugin's one long-lived worker thread.
#pragma once

// Sets up (game module, console program, game readiness, chat slots), then relays for ever.
void RelayWorker();
