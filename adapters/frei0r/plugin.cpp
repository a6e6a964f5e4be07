// The frei0r entry points of one operator's plug-in (FIELDFX_OPERATOR names
// it). The plug-in finds its operator module beside itself: build/ops/ from
// build/frei0r/, PREFIX/lib/fieldfx/ops/ from PREFIX/lib/frei0r-1/ (or the
// relative path of another installed layout). No
// exception leaves these functions: a plug-in without its module describes
// itself without parameters and constructs no instances.
#include <dlfcn.h>
#include <sys/stat.h>

extern "C" {
#include <frei0r.h>
}

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>

#include "instance.h"
#include "plugin_params.h"

namespace {

using fieldfx::frei0r::Instance;
using fieldfx::frei0r::PluginParam;

struct Plugin {
    std::string name = FIELDFX_OPERATOR, path, title, explanation;
    std::unique_ptr<fieldfx::runtime::OperatorModule> module;
    std::vector<PluginParam> params;
};

std::string moduleBeside() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&f0r_init), &info) == 0 || info.dli_fname == nullptr)
        return "";
    std::string dir = info.dli_fname;
    dir.erase(dir.find_last_of('/') + 1);
    for (const char* rel : {"../ops/", FIELDFX_INSTALLED_OPS_FROM_PLUGIN}) {
        const std::string path = dir + rel + FIELDFX_OPERATOR ".so";
        struct stat st {};
        if (stat(path.c_str(), &st) == 0) return path;
    }
    return "";
}

// Built on first use and kept for the life of the process: hosts call
// f0r_deinit while other instances of the plug-in still run.
const Plugin& plugin() {
    static const Plugin p = [] {
        Plugin p;
        p.title = "fieldfx " + p.name;
        p.path = moduleBeside();
        try {
            if (p.path.empty()) throw std::runtime_error("module " + p.name + ".so not found");
            p.module = fieldfx::runtime::OperatorModule::loadFile(p.name, p.path);
            p.params = fieldfx::frei0r::pluginParams(*p.module);
            p.explanation = fieldfx::frei0r::operatorSummary(p.name) +
                            (p.module->isFilter() ? "; a fieldfx filter" : "; a fieldfx transition") +
                            ", rendered field by field";
        } catch (const std::exception& e) {
            std::fprintf(stderr, "fieldfx-%s: %s\n", p.name.c_str(), e.what());
            p.module.reset();
            p.params.clear();
        }
        return p;
    }();
    return p;
}

// Whether `caller` lies in FFmpeg's filter library (or an ffmpeg program
// built with it inside). The answer for one call site is kept.
bool inFfmpeg(void* caller) {
    static std::atomic<void*> known{nullptr};
    static std::atomic<bool> answer{false};
    if (caller == known.load()) return answer.load();
    Dl_info info{};
    bool ffmpeg = false;
    if (dladdr(caller, &info) != 0 && info.dli_fname != nullptr) {
        std::string file = info.dli_fname;
        file.erase(0, file.find_last_of('/') + 1);
        ffmpeg = file.rfind("libavfilter", 0) == 0 || file.rfind("ffmpeg", 0) == 0 ||
                 file.rfind("ffplay", 0) == 0;
    }
    answer.store(ffmpeg);
    known.store(caller);
    return ffmpeg;
}

}  // namespace

extern "C" {

int f0r_init(void) { return plugin().module ? 1 : 0; }

void f0r_deinit(void) {}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
    const Plugin& p = plugin();
    info->name = p.title.c_str();
    info->author = "The fieldfx developers";
    info->plugin_type = !p.module || p.module->isFilter() ? F0R_PLUGIN_TYPE_FILTER
                                                          : F0R_PLUGIN_TYPE_MIXER2;
    info->color_model = F0R_COLOR_MODEL_RGBA8888;
    info->frei0r_version = FREI0R_MAJOR_VERSION;
    info->major_version = FIELDFX_VERSION_MAJOR;
    info->minor_version = FIELDFX_VERSION_MINOR;
    info->num_params = int(p.params.size());
    info->explanation = p.explanation.c_str();
}

void f0r_get_param_info(f0r_param_info_t* info, int index) {
    const Plugin& p = plugin();
    if (index < 0 || std::size_t(index) >= p.params.size()) return;
    info->name = p.params[index].name.c_str();
    info->type = p.params[index].type;
    info->explanation = p.params[index].explanation.c_str();
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
    const Plugin& p = plugin();
    // Fields are addressed with 16-bit sizes.
    if (!p.module || width == 0 || height == 0 || width > 32767 || height > 32767) return nullptr;
    try {
        return new Instance(p.name, p.path, p.params, int32_t(width), int32_t(height));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "fieldfx-%s: %s\n", p.name.c_str(), e.what());
        return nullptr;
    }
}

void f0r_destruct(f0r_instance_t instance) { delete static_cast<Instance*>(instance); }

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance) static_cast<Instance*>(instance)->setParam(index, param);
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int index) {
    if (instance) static_cast<Instance*>(instance)->getParam(index, param);
}

void f0r_update(f0r_instance_t instance, double time, const uint32_t* in, uint32_t* out) {
    // FFmpeg's frei0r filter passes milliseconds where frei0r means seconds.
    if (inFfmpeg(__builtin_return_address(0))) time /= 1000.0;
    f0r_update2(instance, time, in, in, nullptr, out);
}

void f0r_update2(f0r_instance_t instance, double time, const uint32_t* in1, const uint32_t* in2,
                 const uint32_t*, uint32_t* out) {
    if (instance == nullptr || in1 == nullptr || out == nullptr) return;
    const uint32_t* const inputs[2] = {in1, in2 ? in2 : in1};
    static_cast<Instance*>(instance)->update(time, inputs, out);
}

}  // extern "C"
