#include "controls/decoders/Workers.h"

#include <exception>

namespace mugrove {

void RunInHalves(std::size_t count, std::size_t splitAbove,
                 const std::function<void(std::size_t from, std::size_t to)>& run)
{
    if (count <= splitAbove) {
        run(0, count);
        return;
    }
    const std::size_t half = count / 2;
    std::exception_ptr secondFailed;
    std::thread second;
    try {
        second = std::thread([&] {
            try {
                run(half, count);
            } catch (...) {
                secondFailed = std::current_exception();
            }
        });
    } catch (const std::exception&) {
        // No thread to be had (or no memory for one): all of it here.
        run(0, count);
        return;
    }
    std::exception_ptr firstFailed;
    try {
        run(0, half);
    } catch (...) {
        firstFailed = std::current_exception();
    }
    second.join();
    if (firstFailed)
        std::rethrow_exception(firstFailed);
    if (secondFailed)
        std::rethrow_exception(secondFailed);
}

} // namespace mugrove
