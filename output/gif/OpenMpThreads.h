#pragma once

namespace mugrove::gif {

// libimagequant's OpenMP threads spin while they wait for work; for an
// encoder that runs on a worker of its own they cost more processor time
// than they save. From here on the calling thread runs OpenMP's parallel
// parts alone (a setting of this thread only). Nothing happens when no
// OpenMP runtime is loaded.
void RunOpenMpOnThisThreadOnly();

} // namespace mugrove::gif
