#include "transhost_double.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace testhost {

namespace {
TransHostDouble* self(void* context) { return static_cast<TransHostDouble*>(context); }
}  // namespace

TransHostDouble::TransHostDouble(Host& host) : host_(host) {
    backend_.context = this;
    backend_.getOpImage = [](void* c, void* prefs, int32_t a, int32_t b) {
        return self(c)->getOpImage(prefs, a, b);
    };
    backend_.allocRequest = [](void* c, int32_t kind) { return self(c)->allocRequest(kind); };
    backend_.setPrefs = [](void* c, void* r, void* prefs) { return self(c)->setPrefs(r, prefs); };
    backend_.setTypes = [](void* c, void* r, int32_t types) { return self(c)->setTypes(r, types); };
    backend_.runRequest = [](void* c, void* r, int32_t flags) {
        return self(c)->runRequest(r, flags);
    };
    backend_.getStatus = [](void* c, void* r) { return self(c)->getStatus(r); };
    backend_.getPrefs = [](void* c, void* r, void* prefs, int32_t size) {
        return self(c)->getPrefs(r, prefs, size);
    };
    backend_.freeRequest = [](void* c, void* r) { self(c)->freeRequest(r); };
    transhostSetBackend(&backend_);
}

TransHostDouble::~TransHostDouble() { transhostSetBackend(nullptr); }

void TransHostDouble::setMask(int width, int height, uint8_t fill) {
    maskWidth_ = width;
    maskHeight_ = height;
    maskFill_ = fill;
    maskBytes_.clear();
}

void TransHostDouble::setMaskBytes(int width, int height, std::vector<uint8_t> bytes) {
    if (bytes.size() != std::size_t(width) * std::size_t(height))
        throw std::invalid_argument("mask bytes do not match the mask size");
    maskWidth_ = width;
    maskHeight_ = height;
    maskBytes_ = std::move(bytes);
}

void TransHostDouble::setPatternMask(int width, int height) {
    std::vector<uint8_t> bytes(std::size_t(width) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) bytes[std::size_t(y) * width + x] = uint8_t((x * 11 + y * 17) & 255);
    setMaskBytes(width, height, std::move(bytes));
}

std::string TransHostDouble::pointerName(const void* p) const {
    if (p == nullptr) return "null";
    if (p == prefs_) return "prefs";
    if (p == &requestToken_) return "req";
    return "other";
}

std::vector<uint8_t> TransHostDouble::blockBytes(const void* p) const {
    if (p == nullptr) return {};
    const auto* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + TRANSITION_PREFS_SIZE);
}

FieldImage* TransHostDouble::getOpImage(void* prefs, int32_t a, int32_t b) {
    host_.record("txGetOpImage(" + pointerName(prefs) + "," + std::to_string(a) + "," +
                 std::to_string(b) + ")");
    maskPrefs_.push_back(blockBytes(prefs));
    if (failMask_) return nullptr;
    FieldImage* m = host_.addImage("mask" + std::to_string(++maskCount_), maskWidth_, maskHeight_,
                                   1, maskFill_);
    if (!maskBytes_.empty()) std::memcpy(m->pixels, maskBytes_.data(), maskBytes_.size());
    lastMask_ = m;
    return m;
}

void* TransHostDouble::allocRequest(int32_t kind) {
    host_.record("txAllocRequest(" + std::to_string(kind) + ")");
    if (failRequest_) return nullptr;
    ++openRequests_;
    return &requestToken_;
}

int32_t TransHostDouble::setPrefs(void* request, void* prefs) {
    host_.record("txSetPrefs(" + pointerName(request) + "," + pointerName(prefs) + ")");
    handedPrefs_ = blockBytes(prefs);
    return setPrefsResult_;
}

int32_t TransHostDouble::setTypes(void* request, int32_t types) {
    host_.record("txSetTypes(" + pointerName(request) + "," + std::to_string(types) + ")");
    return setTypesResult_;
}

int32_t TransHostDouble::runRequest(void* request, int32_t flags) {
    host_.record("txRequest(" + pointerName(request) + "," + std::to_string(flags) + ")");
    return requestResult_;
}

int32_t TransHostDouble::getStatus(void* request) {
    host_.record("txGetStatus(" + pointerName(request) + ")");
    return status_;
}

int32_t TransHostDouble::getPrefs(void* request, void* prefs, int32_t size) {
    host_.record("txGetPrefs(" + pointerName(request) + "," + pointerName(prefs) + "," +
                 std::to_string(size) + ")");
    if (prefs != nullptr && size > 0) {
        const std::size_t n = std::min(newPrefs_.size(), std::size_t(size));
        if (n > 0) std::memcpy(prefs, newPrefs_.data(), n);
    }
    return getPrefsResult_;
}

void TransHostDouble::freeRequest(void* request) {
    host_.record("txFreeRequest(" + pointerName(request) + ")");
    if (request == &requestToken_) --openRequests_;
}

}  // namespace testhost
