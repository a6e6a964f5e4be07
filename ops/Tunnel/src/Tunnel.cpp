// Tunnel: keeps a disc around the centre and repaints everything outside it
// with samples of a thin ring just beyond the rim, each taken in the pixel's
// own direction, so the outside turns into streaks radiating from the disc.
// Mix blends the input back in, the more the farther a pixel lies out.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "fieldfx/helpers/contract/action.h"
#include "fieldfx/helpers/contract/describe.h"
#include "fieldfx/helpers/contract/params.h"
#include "fieldfx/helpers/contract/request.h"
#include "fieldfx/helpers/effects/tunnel_geometry.h"
#include "fieldfx/helpers/pixel/rect.h"
#include "fieldfx/helpers/pixel/sampler.h"
#include "kernels.h"

namespace {

using fieldfx::tunnel::TunnelField;

const char kIdent[] = "$Id: Vexo_Tunnel,v 1.0 2014/03/24 00:00:00 Orvandel $";
const fieldfx::OperatorIdentity kId{"src\\Tunnel", 0x0b840000u};

// The failure points and the source line each one logs.
constexpr int32_t kInputLine = 100;
constexpr int32_t kScratchLine = 106;

PositionDescriptor centre = fieldfx::makeCentreMarker(1430, 320, 140);
SliderDescriptor radius = fieldfx::makeSlider(1410, 1, 300, 50);
SliderDescriptor mix = fieldfx::makeSlider(1420, 0, 100, 0);
SliderDescriptor depth = fieldfx::makeSlider(1440, 0, 20, 10);

const auto kTags = fieldfx::describeOperator(
    fieldfx::kFilter, kIdent, 2, &centre, &radius, &mix, &depth);

// Radius of the untouched disc: Radius percent of the field height.
int32_t discRadius(int32_t height, int32_t radiusPercent) { return height * radiusPercent / 100; }

// The length over which distances beyond the rim are normalised: the larger
// horizontal reach of the frame diagonal from the centre, less the disc. The
// integer sum under the root is formed in 64 bits so that no size overflows.
double tunnelSpan(int32_t width, int32_t height, int32_t cx, int32_t r0) {
    const int64_t w = width, h = height;
    const double diag = fieldfx::mathSqrt(double(w * w + 4 * h * h));
    const double half = diag * 0.5;
    return std::fabs(double(cx) - half) + half - double(r0);
}

// Each pixel's distance and direction from the centre, kept across fields.
fieldfx::TunnelGeometryCache geometry;

// Paints dst from src. dst is laid out like src (the host hands out a scratch
// image at least as large as the field); one that is smaller gets the rows
// that fit.
void paintTunnel(const FieldImage* src, FieldImage* dst, const TunnelField& q) {
    const int32_t cols = src->width;
    const int32_t rows = fieldfx::rowsHeld(dst, cols, src->height);
    if (cols <= 0 || rows <= 0) return;
    const auto* in = static_cast<const uint8_t*>(src->pixels);
    auto* out = static_cast<uint8_t*>(dst->pixels);
    const std::size_t rowBytes = std::size_t(cols) * 4;

    // With span <= 0 the disc is as large as the frame's reach from the centre:
    // there is no ring left to stretch (the formulas would divide by zero or
    // run backwards), so the input is kept everywhere.
    if (!(q.span > 0.0)) {
        for (int32_t y = 0; y < rows; ++y)
            std::memcpy(out + std::size_t(y) * rowBytes, in + std::size_t(y) * rowBytes, rowBytes);
        return;
    }

    const fieldfx::SampleSource source = fieldfx::clampSource(src);
    const fieldfx::TunnelTable* table = geometry.rows(q.c, cols, src->height);
    const fieldfx::tunnel::TunnelRow paintRow = fieldfx::tunnel::kTunnelRow.chosen();
    for (int32_t y = 0; y < rows; ++y) {
        const fieldfx::TunnelRows row =
            table ? table->row(y) : fieldfx::TunnelRows{};
        paintRow(source, table ? &row : nullptr, y, cols, in + std::size_t(y) * rowBytes,
                 out + std::size_t(y) * rowBytes, q);
    }
}

int32_t process(const OperatorMessage* msg) {
    fieldfx::RequestImages images(kId);
    FieldImage *src, *dst;
    if (!images.fieldAndScratch(msg->position, kInputLine, kScratchLine, src, dst)) return -1;

    TunnelField q;
    q.c = fieldfx::tunnelCentre(src, centre, msg);
    q.r0 = discRadius(src->height, fieldfx::sliderValue(radius));
    q.span = tunnelSpan(src->width, src->height, q.c.cx, q.r0);
    q.depth = fieldfx::sliderValue(depth);
    q.mix = fieldfx::sliderValue(mix);
    paintTunnel(src, dst, q);

    return images.deliver(dst);
}

}  // namespace

int32_t OperatorAction(OperatorMessage* msg) { return fieldfx::operatorAction(msg, process); }

const OperatorTag* GetOperatorInfo(void) { return kTags.data(); }
