/* Shared by the service libraries: the installed backend, and the note a
   service writes when it is called with none installed. */
#ifndef FIELDFX_SERVICE_BACKEND_H
#define FIELDFX_SERVICE_BACKEND_H

#include <atomic>
#include <cstdio>

namespace fieldfx {

template <typename Backend>
class InstalledBackend {
public:
    void install(const Backend* b) { backend_.store(b, std::memory_order_release); }
    const Backend* get() const { return backend_.load(std::memory_order_acquire); }

private:
    std::atomic<const Backend*> backend_{nullptr};
};

inline void noBackend(const char* library, const char* call) {
    std::fprintf(stderr, "fieldfx: %s: %s called with no host backend installed\n", library, call);
}

}  // namespace fieldfx

#endif
