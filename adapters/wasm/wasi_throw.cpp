// WebAssembly as clang 14 builds it has no exceptions: libc++abi for wasm32
// lacks the throw entry points, which the test host's error paths and the
// standard library's allocation failures call. A throw ends the program (or
// traps the preview module) with its message, as an uncaught one would; the
// services' catch of an allocation failure does not exist here.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <typeinfo>

extern "C" void* __cxa_allocate_exception(std::size_t size) noexcept {
    void* p = std::malloc(size);
    if (p == nullptr) std::abort();
    return p;
}

extern "C" [[noreturn]] void __cxa_throw(void* object, std::type_info* type, void (*)(void*)) {
    // What the test host throws; anything else by its type.
    if (*type == typeid(std::runtime_error))
        std::fprintf(stderr, "error: %s\n", static_cast<const std::runtime_error*>(object)->what());
    else if (*type == typeid(std::invalid_argument))
        std::fprintf(stderr, "error: %s\n", static_cast<const std::invalid_argument*>(object)->what());
    else
        std::fprintf(stderr, "error: an exception of type %s\n", type->name());
    std::abort();
}
