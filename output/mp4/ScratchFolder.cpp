#include "ScratchFolder.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include <stdlib.h>

namespace mugrove::mp4 {

ScratchFolder::ScratchFolder()
{
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error)
        return;
    std::string pattern = (base / "mugrove-mp4-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()))
        path_ = name.data();
}

ScratchFolder::~ScratchFolder()
{
    if (path_.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

} // namespace mugrove::mp4
