#include "output/gif/OpenMpThreads.h"

#include <dlfcn.h>

namespace mugrove::gif {

void RunOpenMpOnThisThreadOnly()
{
    // Looked up rather than linked: the runtime is libimagequant's, loaded
    // only when its build uses one.
    using SetThreads = void (*)(int);
    static const auto set = reinterpret_cast<SetThreads>(dlsym(RTLD_DEFAULT, "omp_set_num_threads"));
    if (set)
        set(1);
}

} // namespace mugrove::gif
