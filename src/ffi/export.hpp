// The one export macro: everything else in the shared library stays hidden
// (hidden visibility by default, and the linker's version script keeps only
// the hbind_/ffi_ entry points and the HBIND_META_ blobs).
#pragma once

#define ORVANE_EXPORT extern "C" __attribute__((visibility("default")))
