#include "output/mp4/Mp4Module.h"

extern "C" __attribute__((visibility("default"))) const mugrove::mp4::ModuleEntry* mugrove_mp4_module()
{
    static const mugrove::mp4::ModuleEntry entry{MUGROVE_MP4_FACE, &mugrove::mp4::Encode};
    return &entry;
}
