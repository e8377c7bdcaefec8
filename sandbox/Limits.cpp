// The limits on the helper's command line: written by the program, read by
// the helper, so both live with the program's side.

#include "sandbox/Lockdown.h"

#include <charconv>
#include <string_view>

namespace mugrove::sandbox {

namespace {

constexpr std::string_view kAddressSpace = "--address-space=";
constexpr std::string_view kCpuSeconds = "--cpu-seconds=";

template <class T>
bool ReadNumber(std::string_view text, T& out)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

} // namespace

bool ParseLimits(int argc, char** argv, DecoderLimits& out)
{
    out = {};
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with(kAddressSpace)) {
            if (!ReadNumber(argument.substr(kAddressSpace.size()), out.addressSpaceBytes))
                return false;
        } else if (argument.starts_with(kCpuSeconds)) {
            if (!ReadNumber(argument.substr(kCpuSeconds.size()), out.cpuSeconds))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

std::vector<std::string> LimitArguments(const DecoderLimits& limits)
{
    return {std::string(kAddressSpace) + std::to_string(limits.addressSpaceBytes),
            std::string(kCpuSeconds) + std::to_string(limits.cpuSeconds)};
}

} // namespace mugrove::sandbox
