#pragma once

// The program's way to the MP4 writer: the module (Mp4Module.h) loaded on
// the first save and kept from then on. Found where it is installed, in
// lib/mugrove beside the program's bin folder, or beside the program, or,
// for a program run from the build tree (and only then), where it was built.

#include "output/mp4/Mp4.h"

#include <string>

namespace mugrove::mp4 {

// Encode (Mp4.h) done by the module. When the module cannot be loaded,
// nothing is written and the failure says why.
Written EncodeByModule(Source& source, const Description& description, const Options& options);

// For tests: from now on the module is loaded from `path` alone (an empty
// path: from its usual places again), on the next save.
void LoadModuleFrom(std::string path);

} // namespace mugrove::mp4
