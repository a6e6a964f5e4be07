// Burrow: a transition through a tunnel. Image B shows inside a disc whose
// radius follows the progress from zero to the farthest frame corner; outside
// it, image A is blended with streaks sampled from B along the rim. During the
// first eighth of the progress the whole picture fades from A into that
// tunnel picture. Direction 0 opens a disc of input 1 over input 0; Direction
// 1 closes a disc of input 0 into input 1.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/message.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/effects/tunnel_geometry.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "kernels.h"

namespace {

using fieldfx::burrow::BurrowField;
using fieldfx::burrow::Progress;

const char kIdent[] = "$Id: Vexo_Burrow,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Burrow", 0x0bb80000u};

// The failure points and the source line each one logs.
// Opening fetches input 0 (the field painted) first, closing input 1.
constexpr int32_t kOpeningFirstLine = 98;
constexpr int32_t kOpeningSecondLine = 104;
constexpr int32_t kClosingFirstLine = 116;
constexpr int32_t kClosingSecondLine = 122;

const uint32_t kDirectionLabels[] = {1531, 1532, 0};
PositionDescriptor centre = fieldfx::makeCentreMarker(1510, 320, 140);
SliderDescriptor depth = fieldfx::makeSlider(1520, 0, 20, 10);
ChoiceDescriptor direction = fieldfx::makeChoice(1530, kDirectionLabels, 0);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kTransition, kIdent, 2, &centre, &depth, &direction);

// Distance from the centre to the farthest corner of the W x 2H frame.
double farthestCorner(int32_t width, int32_t height, int32_t cx, int32_t cy) {
    const double halfWidth = double(width / 2);
    const double a = std::fabs(halfWidth - double(cx)) + halfWidth;
    const double b = std::fabs(double(height) - 2.0 * double(cy)) + double(height);
    return fieldfx::mathSqrt(a * a + b * b);
}


// t counts up from A towards B whatever the direction. The position is kept
// below the duration here: beyond it t would turn negative (closing; a fade
// dividing by D8 = 0 when D < 8) or the radius pass the farthest corner.
Progress progressOf(const OperatorMessage* msg, bool closing, double rmax) {
    const int64_t d = fieldfx::durationOf(msg);
    const int64_t p = fieldfx::positionWithin(msg);
    Progress g;
    g.t = closing ? d - p - 1 : p;
    g.d8 = d / 8;
    g.r = double(g.t) * rmax / double(d);
    g.span = rmax - g.r;
    return g;
}

// B's pixels bounded by A's active rectangle, with B's own row length. When
// the two geometries differ the bounds are also kept inside B's image (and
// fall back to the whole of B when nothing of A's rectangle lies in it), so no
// read leaves either image.
fieldfx::SampleSource burrowSource(const FieldImage* a, const FieldImage* b) {
    const fieldfx::PixelRect active = fieldfx::activeRect(a), inB = fieldfx::imageRect(b);
    fieldfx::PixelRect r{std::max(active.x0, inB.x0), std::max(active.y0, inB.y0),
                         std::min(active.x1, inB.x1), std::min(active.y1, inB.y1)};
    if (r.empty()) r = inB;
    return fieldfx::SampleSource{static_cast<const uint8_t*>(b->pixels), b->width, r};
}

// Each pixel's distance and direction from the centre, kept across fields.
fieldfx::TunnelGeometryCache geometry;

// Paints A in place. B's pixel (x, y) is read at the nearest pixel of B's
// image, which is (x, y) itself when both images have one geometry.
void paintBurrow(FieldImage* a, const FieldImage* b, const BurrowField& q) {
    const int32_t width = a->width, height = a->height;
    if (width <= 0 || height <= 0 || b->width <= 0 || b->height <= 0) return;
    const fieldfx::SampleSource source = burrowSource(a, b);
    const int32_t lastColB = b->width - 1, lastRowB = b->height - 1;
    const auto* inB = static_cast<const uint8_t*>(b->pixels);
    auto* pixelsA = static_cast<uint8_t*>(a->pixels);

    const fieldfx::TunnelTable* table = geometry.rows(q.c, width, height);
    const fieldfx::burrow::BurrowRow paintRow = fieldfx::burrow::kBurrowRow.chosen();
    for (int32_t y = 0; y < height; ++y) {
        const fieldfx::TunnelRows row =
            table ? table->row(y) : fieldfx::TunnelRows{};
        paintRow(source, table ? &row : nullptr, y, width,
                 pixelsA + std::size_t(y) * std::size_t(width) * 4,
                 inB + std::size_t(std::min(y, lastRowB)) * std::size_t(b->width) * 4, lastColB, q);
    }
}

int32_t process(const OperatorMessage* msg) {
    // Any Direction other than 0 closes.
    const bool closing = direction.value != 0;
    fieldfx::RequestImages images(kId);
    FieldImage* a = images.field(closing ? 1 : 0, msg->position,
                                 closing ? kClosingFirstLine : kOpeningFirstLine);
    if (a == nullptr) return -1;
    FieldImage* b = images.field(closing ? 0 : 1, msg->position,
                                 closing ? kClosingSecondLine : kOpeningSecondLine);
    if (b == nullptr) return -1;

    BurrowField q;
    q.c = fieldfx::tunnelCentre(a, centre, msg);
    q.g = progressOf(msg, closing, farthestCorner(a->width, a->height, q.c.cx, q.c.cy));
    q.depth = fieldfx::sliderValue(depth);
    q.fade = q.g.t < q.g.d8;
    q.keep = q.g.d8 - q.g.t;
    paintBurrow(a, b, q);

    return images.deliver(a);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
