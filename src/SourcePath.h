// The library names its own sources in failure records as "src\Name", whatever the
// build machine's paths are, so that records read the same on every platform.
#pragma once

#define KCM_SOURCE_PATH(name) "src\\" name
