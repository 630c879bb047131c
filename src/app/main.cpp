// `pellamor`: the commands scripts and launchers run most go to the running program from here, with
// nothing but libdbus loaded, so that they start and end in a few milliseconds (cli/BusCommand.h).
// Everything else, starting the program and the full command line included, is the program module's
// (ProgramModule.cpp), loaded into this same process, so the program keeps this process id and this
// executable's path.
#include "ProgramModule.h"
#include "cli/BusCommand.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <limits.h>
#include <string>
#include <unistd.h>
#include <vector>

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
    constexpr int failure = 1;
    if (argc >= 2 && BusCommand::handles(argv[1])) {
        if (std::strcmp(argv[1], "--version") == 0) {
            std::printf("pellamor %s\n", PELLAMOR_VERSION);
            return 0;
        }
        BusCommand::Result result = BusCommand::run(argc, argv);
        if (result.status)
            return *result.status;
        std::vector<char*> words;
        for (std::string& word : result.words)
            words.push_back(word.data());
        words.push_back(nullptr);
        const auto commandLine = moduleFunction<ProgramModule::MainFunction>(ProgramModule::commandLineSymbol);
        return commandLine ? commandLine(int(words.size() - 1), words.data()) : failure;
    }
    const auto programMain = moduleFunction<ProgramModule::MainFunction>(ProgramModule::mainSymbol);
    return programMain ? programMain(argc, argv) : failure;
}
