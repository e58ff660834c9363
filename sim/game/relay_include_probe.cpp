// Built only by the test sim.cannot_include_relay, which expects it not to build: the simulated
// game sees the loader's header, never the plugin's relay.
#include "host/loader.h"
#include "relay/relay_pass.h"
