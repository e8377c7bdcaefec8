#include "output/mp4/Mp4Loader.h"

#include "output/mp4/Mp4Module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace mugrove::mp4 {

namespace {

constexpr char kModuleFile[] = "mugrove-mp4.so";

std::string DirectoryOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string ThisProgram()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

// Where the module may be, in the order tried.
std::vector<std::string> Places()
{
    std::vector<std::string> places;
    const std::string self = ThisProgram();
    if (!self.empty()) {
        const std::string folder = DirectoryOf(self);
        places.push_back(folder + "/" + MUGROVE_MP4_MODULE_FROM_PROGRAM);
        places.push_back(folder + "/" + kModuleFile);
    }
#ifdef MUGROVE_BUILD_TREE_MP4
    // Never for an installed program: it must not load whatever lies where
    // it was once built.
    const std::string built = MUGROVE_BUILD_TREE_MP4;
    if (!self.empty() && self.starts_with(DirectoryOf(built) + "/"))
        places.push_back(built);
#endif
    return places;
}

class Module {
public:
    // The entry, loading the module when it is not yet; null with `why` set
    // when it cannot be loaded.
    const ModuleEntry* Entry(std::string& why)
    {
        const std::lock_guard lock(mutex_);
        if (entry_ != nullptr)
            return entry_;
        const std::vector<std::string> places = path_.empty() ? Places() : std::vector{path_};
        std::string tried;
        for (const std::string& place : places) {
            if (::access(place.c_str(), F_OK) != 0) {
                tried += (tried.empty() ? "" : ", ") + place;
                continue;
            }
            entry_ = Load(place, why);
            return entry_;
        }
        why = "the MP4 encoder " + std::string(kModuleFile) + " was not found (looked for " + tried + ")";
        return nullptr;
    }

    void From(std::string path)
    {
        const std::lock_guard lock(mutex_);
        path_ = std::move(path);
        entry_ = nullptr; // a module loaded before stays loaded, unused
    }

private:
    // The module stays loaded for the program's life: the codec libraries
    // behind it keep state of their own.
    static const ModuleEntry* Load(const std::string& path, std::string& why)
    {
        void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* error = ::dlerror();
            why = "the MP4 encoder could not be loaded: " + std::string(error != nullptr ? error : path);
            return nullptr;
        }
        const auto get = reinterpret_cast<const ModuleEntry* (*)()>(::dlsym(handle, kModuleEntryName));
        const ModuleEntry* entry = get != nullptr ? get() : nullptr;
        if (entry == nullptr || entry->face == nullptr || std::strcmp(entry->face, MUGROVE_MP4_FACE) != 0 ||
            entry->encode == nullptr) {
            ::dlclose(handle);
            why = "the MP4 encoder " + path + " is not of this build of the program";
            return nullptr;
        }
        return entry;
    }

    std::mutex mutex_;
    std::string path_;
    const ModuleEntry* entry_ = nullptr;
};

Module& TheModule()
{
    static Module module;
    return module;
}

} // namespace

Written EncodeByModule(Source& source, const Description& description, const Options& options)
{
    std::string why;
    const ModuleEntry* entry = TheModule().Entry(why);
    if (entry == nullptr) {
        Written failed;
        failed.failure = why;
        return failed;
    }
    return entry->encode(source, description, options);
}

void LoadModuleFrom(std::string path)
{
    TheModule().From(std::move(path));
}

} // namespace mugrove::mp4
