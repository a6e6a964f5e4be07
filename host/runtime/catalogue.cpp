#include "fieldfx/runtime/catalogue.h"

namespace fieldfx::runtime {

namespace {

struct Text {
    uint32_t id;
    const char* text;
};

// Each operator owns a block of ids: labels on the multiples of ten, the
// second text and choice entries on the ids after them.
constexpr Text kTexts[] = {
    // Flicker
    {210, "Start"}, {211, "Outgoing"}, {212, "Incoming"},
    {220, "Block"},
    // Widescreen
    {310, "Conversion"}, {311, "Squeeze"}, {312, "Stretch"},
    {320, "Smoothing"}, {321, "Nearest"}, {322, "Blend"},
    {330, "BarColour"},
    // Drunken
    {410, "Samples"}, {411, "Number of copies on the ellipse that are averaged"},
    {420, "Amount"}, {421, "Size of the ellipse, in percent of a tenth of the picture's width and height"},
    // Swivel
    {510, "Angle"},
    {520, "Edges"}, {521, "Clamp"}, {522, "Border"},
    {530, "Background"},
    // Heatwave
    {710, "Horizontal"}, {711, "Horizontal amplitude of each wave, in fiftieths of a pixel"},
    {720, "Vertical"}, {721, "Vertical amplitude of each wave, in hundredths of a row"},
    {730, "Frequency"}, {731, "Periods of the first wave across the picture width"},
    {740, "Area"},
    // Smudge
    {1310, "Size"}, {1311, "Outer radius of the spot, in percent of the field height"},
    {1320, "Softness"}, {1321, "Width of the soft ring, in percent of the radius"},
    {1330, "Position"},
    {1340, "Strength"}, {1341, "Half the horizontal length of the blur box, in pixels"},
    // Tunnel
    {1410, "Radius"}, {1411, "Radius of the untouched disc, in percent of the field height"},
    {1420, "Mix"}, {1421, "Share of the input picture at the farthest distance, in percent"},
    {1430, "Centre"},
    {1440, "Depth"}, {1441, "Width of the ring beyond the rim that streaks over the outside, in pixels"},
    // Burrow
    {1510, "Centre"},
    {1520, "Depth"}, {1521, "Width of the ring beyond the rim that streaks over the outside, in pixels"},
    {1530, "Direction"}, {1531, "Opening"}, {1532, "Closing"},
    // Standbild
    {1610, "Horizontal"}, {1611, "Horizontal shake: targets lie within about twice this many pixels either way"},
    {1620, "Vertical"}, {1621, "Vertical shake: targets lie within about this many rows either way"},
    {1630, "Speed"}, {1631, "How often a new target is drawn: every 101 - Speed fields"},
    {1640, "Noise"}, {1641, "Luma noise: 0 for none, higher for stronger noise"},
    // Iris
    {1710, "Centre"},
    {1720, "Softness"}, {1721, "Width of the blended edge, in percent of the distance range"},
    {1730, "Direction"}, {1731, "Opening"}, {1732, "Closing"},
    // Glide
    {1810, "Softness"}, {1811, "Width of the blend band, in percent of the pattern's range"},
    {1820, "Distance"}, {1821, "Length of the shift, in percent of the active height"},
    {1830, "Direction"},
    {1840, "Slide"},
    // Telescope
    {1910, "Softness"}, {1911, "Width of the blend band, in percent of the pattern's range"},
    {1920, "Zoom"}, {1921, "Magnification of the outgoing picture in the band, in thousandths of the active height"},
    {1930, "Zoom wipe"},
};

struct Unit {
    uint32_t labelId;
    SliderUnit unit;
};

constexpr Unit kUnits[] = {
    {220, {"frames", SliderUnitKind::Plain}},
    {410, {"copies", SliderUnitKind::Plain}},
    {420, {"% of a tenth of the picture", SliderUnitKind::Plain}},
    {510, {"tenths of a degree", SliderUnitKind::TenthDegrees}},
    {710, {"1/50 pixel", SliderUnitKind::Plain}},
    {720, {"1/100 row", SliderUnitKind::Plain}},
    {730, {"periods", SliderUnitKind::Plain}},
    {1310, {"% of field height", SliderUnitKind::Plain}},
    {1320, {"% of radius", SliderUnitKind::Plain}},
    {1340, {"pixels", SliderUnitKind::Plain}},
    {1410, {"% of field height", SliderUnitKind::Plain}},
    {1420, {"%", SliderUnitKind::Plain}},
    {1440, {"pixels", SliderUnitKind::Plain}},
    {1520, {"pixels", SliderUnitKind::Plain}},
    {1610, {"2 pixels", SliderUnitKind::Plain}},
    {1620, {"rows", SliderUnitKind::Plain}},
    {1630, {"101 - fields a period", SliderUnitKind::Plain}},
    {1640, {"level", SliderUnitKind::Plain}},
    {1720, {"% of the distance range", SliderUnitKind::Plain}},
    {1810, {"% of the pattern range", SliderUnitKind::Plain}},
    {1820, {"% of active height", SliderUnitKind::Plain}},
    {1910, {"% of the pattern range", SliderUnitKind::Plain}},
    {1920, {"1/1000 of active height", SliderUnitKind::Plain}},
};

}  // namespace

const char* catalogueText(uint32_t id) {
    for (const Text& t : kTexts)
        if (t.id == id) return t.text;
    return nullptr;
}

SliderUnit sliderUnit(uint32_t textId) {
    for (const Unit& u : kUnits)
        if (u.labelId == textId) return u.unit;
    return SliderUnit{"", SliderUnitKind::Plain};
}

}  // namespace fieldfx::runtime
