// Whether this build has the platform compiler's ABI, the one the game's loader is built with.
// The one place that looks at the compiler: the loader's names, the log line object and the
// export of Load all follow from it.
#pragma once

#if defined(_MSC_VER)
#define PLATFORM_COMPILER_ABI 1
#else
#define PLATFORM_COMPILER_ABI 0
#endif  // _MSC_VER
