/* Shared by the service libraries: the backend each call reaches, and the
   note a service writes when it is called with none. */
#ifndef FIELDFX_SERVICE_BACKEND_H
#define FIELDFX_SERVICE_BACKEND_H

#include <atomic>
#include <cstdio>

namespace fieldfx {

/* A backend set for the calling thread wins over the process-wide one: a host
   running several effects at once sets its effect's backend on the thread
   around each request, a host with one effect installs it once for all. */
template <typename Backend>
class InstalledBackend {
public:
    void install(const Backend* b) { backend_.store(b, std::memory_order_release); }
    const Backend* setForThread(const Backend* b) {
        const Backend* previous = forThread_;
        forThread_ = b;
        return previous;
    }
    const Backend* get() const {
        if (const Backend* b = forThread_) return b;
        return backend_.load(std::memory_order_acquire);
    }

private:
    std::atomic<const Backend*> backend_{nullptr};
    static thread_local const Backend* forThread_;
};

template <typename Backend>
thread_local const Backend* InstalledBackend<Backend>::forThread_ = nullptr;

inline void noBackend(const char* library, const char* call) {
    std::fprintf(stderr, "fieldfx: %s: %s called with no host backend installed\n", library, call);
}

}  // namespace fieldfx

#endif
