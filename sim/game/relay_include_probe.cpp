// Built only by the tests sim.cannot_include_relay_*, which expect it not to build: the
// simulated game sees the loader's header and the report channel's, never the plugin's relay.
#include "host/loader.h"
#include "sim_report.h"
#if defined(RELAY_HEADER_NAMED_from_src)
#include "relay/relay_pass.h"
#else
#include "src/relay/relay_pass.h"
#endif
