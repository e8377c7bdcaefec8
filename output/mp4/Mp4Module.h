#pragma once

// The MP4 writer as a module of its own, which the program loads when it
// first saves an MP4, so that starting the program loads none of the codec
// libraries behind it. The module has one C entry that hands back the
// writer, stamped with the face it was built against: a module of another
// build is refused rather than called.

#include "output/mp4/Mp4.h"

namespace mugrove::mp4 {

struct ModuleEntry {
    const char* face; // MUGROVE_MP4_FACE of the module's build
    Written (*encode)(Source& source, const Description& description, const Options& options);
};

// The name the entry is looked up by.
inline constexpr char kModuleEntryName[] = "mugrove_mp4_module";

} // namespace mugrove::mp4

extern "C" const mugrove::mp4::ModuleEntry* mugrove_mp4_module();
