// Whether this build has the MSVC ABI (Microsoft's compiler, or clang-cl), the one the game's
// loader is built with. The one place that looks at the compiler: the loader's names, the log
// line object and the export of Load all follow from it.
#pragma once

#if defined(_MSC_VER)
#define MSVC_ABI 1
#else
#define MSVC_ABI 0
#endif  // _MSC_VER
