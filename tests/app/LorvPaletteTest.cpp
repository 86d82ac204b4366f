#include "appmodel/LorvPalette.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

struct Swatch {
    const char* name;
    const QColor& (*colour)();
    QRgb rgb;
};

const std::vector<Swatch> swatches = {
    {"periwinkle", LorvPalette::periwinkle, 0x818CF8},
    {"ink", LorvPalette::ink, 0x10131D},
    {"sky", LorvPalette::sky, 0x55B8F8},
    {"lilac", LorvPalette::lilac, 0xC597F4},
    {"inkAlt", LorvPalette::inkAlt, 0x10131D},
    {"night900", LorvPalette::night900, 0x121622},
    {"night800", LorvPalette::night800, 0x191E2B},
    {"night700", LorvPalette::night700, 0x22293B},
    {"slate600", LorvPalette::slate600, 0x303B50},
    {"slate500", LorvPalette::slate500, 0x343E54},
    {"steel400", LorvPalette::steel400, 0x677DA4},
    {"indigoDeep", LorvPalette::indigoDeep, 0x303A65},
    {"indigoNight", LorvPalette::indigoNight, 0x262743},
    {"plumDeep", LorvPalette::plumDeep, 0x3B3054},
    {"mist", LorvPalette::mist, 0xF1F4FB},
    {"fog", LorvPalette::fog, 0xAAB4CA},
};

} // namespace

TEST(LorvPalette, SixteenColoursWithTheirExactValues) {
    ASSERT_EQ(swatches.size(), 16u);
    for (const Swatch& s : swatches) {
        const QColor& c = s.colour();
        EXPECT_EQ(c.rgb() & 0xFFFFFF, s.rgb) << s.name;
        EXPECT_EQ(c.alpha(), 255) << s.name;
        EXPECT_EQ(c.spec(), QColor::Rgb) << s.name;
    }
}

TEST(LorvPalette, EachColourIsMadeOnceAndShared) {
    for (const Swatch& s : swatches)
        EXPECT_EQ(&s.colour(), &s.colour()) << s.name;
    // Same value, two constants.
    EXPECT_EQ(LorvPalette::ink(), LorvPalette::inkAlt());
    EXPECT_NE(&LorvPalette::ink(), &LorvPalette::inkAlt());
}
