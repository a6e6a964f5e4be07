// Iris: a circle wipe with a soft edge. A distance map of the full frame,
// built at the first field, is compared with a threshold that rises over the
// span; the outgoing field is painted in place.
#include <cstdlib>
#include <cstring>

#include "distance_map.h"
#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/pixel/rect.h"

namespace {

const char kIdent[] = "$Id: Vexo_Iris,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Iris", 0x0bba0000u};

// The failure points and the source line each one logs.
constexpr int32_t kInput0Line = 84;
constexpr int32_t kInput1Line = 90;
constexpr int32_t kMapAllocationLine = 96;  // no heap for the distance map

// Direction: 0 opens from the centre, any other value closes onto it.
const uint32_t kDirectionLabels[] = {1731, 1732, 0};
PositionDescriptor centre = fieldfx::makeCentreMarker(1710, 320, 140);
SliderDescriptor softness = fieldfx::makeSlider(1720, 0, 100, 20);
ChoiceDescriptor direction = fieldfx::makeChoice(1730, kDirectionLabels, 1);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kTransition, kIdent, 2, &centre, &softness, &direction);

// Line 2y + f holds field row y (f = 1 on the odd field): `lines` = 2 x the
// field height lines of `width` bytes.
struct DistanceMap {
    uint8_t* bytes;
    int32_t width;
    int32_t lines;
};
DistanceMap distanceMap{};

void freeMap() {
    std::free(distanceMap.bytes);
    distanceMap = DistanceMap{};
}

// OP_OPEN: a map still held from an effect that was never closed is freed,
// not forgotten.
int32_t open() {
    freeMap();
    return 0;
}

// Builds the map for the frame of `a` from the Centre and Direction of this
// moment and the message's pixel aspect (0 taken as 1000); false when the
// heap has no room for it.
bool buildMap(const FieldImage* a, const OperatorMessage* msg) {
    const int32_t W = a->width, H2 = 2 * int32_t(a->height);
    auto* bytes = static_cast<uint8_t*>(std::malloc(std::size_t(W) * std::size_t(H2)));
    if (bytes == nullptr) return false;
    const int32_t cx = int32_t(a->activeX) + int32_t(centre.posX);
    const int32_t cy2 = 2 * (int32_t(a->activeY) + int32_t(centre.posY));
    const int32_t pa = fieldfx::pixelAspectOf(msg);
    const bool closing = direction.value != 0;
    const int32_t R = fieldfx::iris::mapRadius(W, H2, cx, cy2);
    for (int32_t l = 0; l < H2; ++l) {
        const double v = fieldfx::iris::lineDistance(l, cy2, pa);
        uint8_t* line = bytes + std::size_t(l) * std::size_t(W);
        for (int32_t x = 0; x < W; ++x)
            line[x] = fieldfx::iris::mapValue(fieldfx::iris::centreDistance(v, x, cx), R, closing);
    }
    distanceMap = DistanceMap{bytes, W, H2};
    return true;
}

// Pixels with m >= thr keep A; below thr - soft they take B; in between A
// keeps wa = m + soft - thr of soft parts and B gets the rest, on all four
// bytes. B is indexed with its own row length and never read outside itself.
void paintIris(FieldImage* a, const FieldImage* b, int32_t f, int32_t soft, int64_t thr) {
    fieldfx::PixelRect rect = fieldfx::activeRect(a);
    const fieldfx::PixelRect bRect = fieldfx::imageRect(b);
    rect.x1 = std::min(rect.x1, bRect.x1);
    rect.y1 = std::min(rect.y1, bRect.y1);
    const int64_t full = thr - soft;
    // Edge pixels exist only with soft > 0 (with 0, every m < thr is below full).
    const fieldfx::iris::SoftDivisor bySoft(soft > 0 ? soft : 1);
    for (int32_t y = rect.y0; y < rect.y1; ++y) {
        const uint8_t* m = distanceMap.bytes + std::size_t(2 * y + f) * std::size_t(distanceMap.width);
        uint8_t* rowA = static_cast<uint8_t*>(a->pixels) + std::size_t(y) * std::size_t(a->width) * 4;
        const uint8_t* rowB =
            static_cast<const uint8_t*>(b->pixels) + std::size_t(y) * std::size_t(b->width) * 4;
        for (int32_t x = rect.x0; x < rect.x1; ++x) {
            if (m[x] >= thr) continue;
            uint8_t* pa = rowA + std::size_t(x) * 4;
            const uint8_t* pb = rowB + std::size_t(x) * 4;
            if (m[x] < full) {
                std::memcpy(pa, pb, 4);
                continue;
            }
            const int32_t wa = int32_t(m[x] + soft - thr);
            const int32_t wb = soft - wa;
            for (int i = 0; i < 4; ++i)
                pa[i] = fieldfx::iris::blendEdge(pa[i], pb[i], wa, wb, bySoft);
        }
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage* a = images.field(0, msg->position, kInput0Line);
    if (a == nullptr) return -1;
    FieldImage* b = images.field(1, msg->position, kInput1Line);
    if (b == nullptr) return -1;

    if (a->width > 0 && a->height > 0) {
        // A map made for another frame size (the field's geometry changed
        // within the effect) is rebuilt rather than read past its end.
        if (distanceMap.bytes != nullptr &&
            (distanceMap.width != a->width || distanceMap.lines != 2 * int32_t(a->height)))
            freeMap();
        // No heap for the map: logged, the fields handed back, -1.
        if (distanceMap.bytes == nullptr && !buildMap(a, msg)) {
            images.fail(kMapAllocationLine);
            return -1;
        }
        const int32_t soft = fieldfx::iris::softLevels(fieldfx::sliderValue(softness));
        // A duration of 0 is taken as 1.
        const int64_t thr =
            fieldfx::iris::threshold(soft, msg->position, fieldfx::durationOf(msg));
        paintIris(a, b, fieldfx::isOddField(msg) ? 1 : 0, soft, thr);
    }

    return images.deliver(a);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) {
    return fieldfx::operatorAction(msg, process, open, freeMap);
}

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
