// Export marker of the library: what carries it is in the export table, the rest is
// hidden. Hosts see the same default visibility, so type information of exported
// classes stays one across the module boundary even in hosts built with hidden symbols.
#pragma once

#define KCM_API __attribute__((visibility("default")))
