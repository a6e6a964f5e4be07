// A minimal frei0r host for the tests: loads build/frei0r/fieldfx-<name>.so
// and drives its instances directly.
#ifndef FIELDFX_TESTS_FREI0R_HOST_H
#define FIELDFX_TESTS_FREI0R_HOST_H

#include <dlfcn.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

namespace frei0rtest {

struct Plugin {
    explicit Plugin(const std::string& lowerName) {
        handle = dlopen((std::string(FIELDFX_TEST_FREI0R_DIR) + "/fieldfx-" + lowerName + ".so").c_str(),
                        RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return;
        load(init, "f0r_init");
        load(info, "f0r_get_plugin_info");
        load(paramInfo, "f0r_get_param_info");
        load(construct, "f0r_construct");
        load(destruct, "f0r_destruct");
        load(set, "f0r_set_param_value");
        load(get, "f0r_get_param_value");
        load(update2, "f0r_update2");
        init();
    }
    ~Plugin() {
        if (handle) dlclose(handle);
    }
    template <typename F>
    void load(F& f, const char* name) {
        f = reinterpret_cast<F>(dlsym(handle, name));
    }
    // The index of the parameter called `name`, or -1.
    int param(const std::string& name) const {
        f0r_plugin_info_t i{};
        info(&i);
        for (int k = 0; k < i.num_params; ++k) {
            f0r_param_info_t p{};
            paramInfo(&p, k);
            if (name == p.name) return k;
        }
        return -1;
    }

    void* handle = nullptr;
    decltype(&f0r_init) init = nullptr;
    decltype(&f0r_get_plugin_info) info = nullptr;
    decltype(&f0r_get_param_info) paramInfo = nullptr;
    decltype(&f0r_construct) construct = nullptr;
    decltype(&f0r_destruct) destruct = nullptr;
    decltype(&f0r_set_param_value) set = nullptr;
    decltype(&f0r_get_param_value) get = nullptr;
    decltype(&f0r_update2) update2 = nullptr;
};

// A frame of w x h pixels with a pattern that changes with `seed`.
inline std::vector<uint32_t> testFrame(int w, int h, uint32_t seed) {
    std::vector<uint32_t> f(std::size_t(w) * h);
    uint32_t s = seed * 2654435761u + 1u;
    for (uint32_t& p : f) {
        s = s * 1664525u + 1013904223u;
        p = s | 0xFF000000u;  // opaque
    }
    return f;
}

}  // namespace frei0rtest

#endif
