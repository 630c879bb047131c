#pragma once

#include <dlfcn.h>

// Opening a library at run time, for code that only some sessions need: its pages, and those of all
// it links, stay out of the program until then.
namespace SharedLibrary {

// Looks up `name` in `library`; false when it lacks it.
template<typename Function>
bool resolve(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

} // namespace SharedLibrary
