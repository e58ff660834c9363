// Library entry of the stand-in loader.
#include <windows.h>

#include "sim_report_internal.h"

BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID /*reserved*/) {
  // The report clock starts when the loader is loaded, as the game's own clock would.
  if (reason == DLL_PROCESS_ATTACH) StartSimReport();
  return TRUE;
}
