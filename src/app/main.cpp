// `pellamor`: a command for the running program (see cli/CommandLine.h) runs here, with nothing but
// Qt Core and D-Bus loaded, so that it starts and ends in a few milliseconds. Everything else, starting
// the program included, is the program module's (ProgramModule.cpp), loaded into this same process, so
// the program keeps this process id and this executable's path.
#include "ProgramModule.h"
#include "cli/CommandLine.h"
#include "cli/OfflineHistory.h"

#include <cstdio>
#include <dlfcn.h>
#include <limits.h>
#include <string>
#include <unistd.h>

namespace {

void* loadedModule()
{
    static void* module = [] {
        char executable[PATH_MAX];
        const ssize_t length = ::readlink("/proc/self/exe", executable, sizeof executable - 1);
        std::string folder = length > 0 ? std::string(executable, std::size_t(length)) : std::string();
        folder.erase(folder.find_last_of('/') + 1);
        const std::string besideUs = folder + ProgramModule::fileName;
        const std::string installed = folder + PELLAMOR_MODULE_DIR "/" + ProgramModule::fileName;
        for (const std::string& candidate : {besideUs, installed}) {
            if (::access(candidate.c_str(), F_OK) != 0)
                continue;
            if (void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL))
                return handle;
            std::fprintf(stderr, "pellamor: cannot load the program: %s\n", ::dlerror());
            return static_cast<void*>(nullptr);
        }
        std::fprintf(stderr, "pellamor: the program is missing: no %s\n", installed.c_str());
        return static_cast<void*>(nullptr);
    }();
    return module;
}

template<typename Function>
Function moduleFunction(const char* name)
{
    void* module = loadedModule();
    void* symbol = module ? ::dlsym(module, name) : nullptr;
    if (module && !symbol)
        std::fprintf(stderr, "pellamor: the program module has no %s\n", name);
    return reinterpret_cast<Function>(symbol);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 2 && CommandLine::handles(argv[1])) {
        return CommandLine::run(argc, argv, []() -> std::unique_ptr<HistoryFileReader> {
            const auto open = moduleFunction<ProgramModule::HistoryFileFunction>(ProgramModule::historyFileSymbol);
            return std::unique_ptr<HistoryFileReader>(open ? open() : nullptr);
        });
    }
    const auto programMain = moduleFunction<ProgramModule::MainFunction>(ProgramModule::mainSymbol);
    return programMain ? programMain(argc, argv) : CommandLine::failure;
}
