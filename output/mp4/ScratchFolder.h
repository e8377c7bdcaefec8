#pragma once

#include <string>

namespace mugrove::mp4 {

// A private folder under the system's temporary one for what the encoder
// notes between passes; it and everything in it go when this does.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace mugrove::mp4
