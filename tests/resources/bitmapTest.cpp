// bitmapTest.cpp: the committed background and tile sheet: their BMP form and their colours.
#include "resourceReading.h"

#include <gtest/gtest.h>

namespace {

struct BitmapForm {
    const char* name;
    int width;
    int height;
};

void PrintTo(const BitmapForm& form, std::ostream* out)
{
    *out << form.name;
}

class BitmapFormTest : public testing::TestWithParam<BitmapForm> {};

// The Win32 shell embeds these as bitmap resources and the Qt shell loads them with QImage:
// both want a plain 24-bit BI_RGB bottom-up BMP with a BITMAPINFOHEADER.
TEST_P(BitmapFormTest, IsAPlainBottomUp24BitBmp)
{
    const BitmapForm form = GetParam();
    const Bytes bmp = readResource(form.name);
    ASSERT_GE(bmp.size(), 54u) << form.name << " is missing or cut short";
    const std::size_t stride = static_cast<std::size_t>((form.width * 3 + 3) / 4 * 4);

    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[1], 'M');
    EXPECT_EQ(le32(bmp, 2), bmp.size()) << "file size field";
    EXPECT_EQ(le32(bmp, 10), 54u) << "pixels right after the two headers";
    EXPECT_EQ(le32(bmp, 14), 40u) << "BITMAPINFOHEADER";
    EXPECT_EQ(le32Signed(bmp, 18), form.width);
    EXPECT_EQ(le32Signed(bmp, 22), form.height) << "positive height: rows stored bottom-up";
    EXPECT_EQ(le16(bmp, 26), 1u) << "planes";
    EXPECT_EQ(le16(bmp, 28), 24u) << "bits per pixel";
    EXPECT_EQ(le32(bmp, 30), 0u) << "BI_RGB, uncompressed";
    EXPECT_EQ(le32(bmp, 46), 0u) << "no palette";
    EXPECT_EQ(stride % 4, 0u);
    EXPECT_EQ(bmp.size(), 54 + stride * static_cast<std::size_t>(form.height));
    const std::uint32_t imageSize = le32(bmp, 34);
    EXPECT_TRUE(imageSize == 0 || imageSize == stride * static_cast<std::size_t>(form.height));
}

INSTANTIATE_TEST_SUITE_P(Committed, BitmapFormTest,
                         testing::Values(BitmapForm{"backdrop.bmp", 408, 528}, BitmapForm{"tiles.bmp", 24, 192}),
                         [](const testing::TestParamInfo<BitmapForm>& info) {
                             return std::string(info.param.width == 24 ? "tiles" : "backdrop");
                         });

constexpr Rgb black{0, 0, 0};
constexpr Rgb fill{215, 215, 215};
constexpr Rgb grid{219, 219, 219};
constexpr Rgb white{255, 255, 255};

struct BackdropPoint {
    const char* what;
    int x;
    int y;
    Rgb colour;
};

// Points chosen where a misplaced line, a 24-pixel grid instead of a 16-pixel one, a missing or
// extra edge or an off-by-one box would show.
const BackdropPoint backdropPoints[] = {
    {"well top-left corner, on both grid lines", 24, 24, grid},
    {"well fill", 25, 25, fill},
    {"well vertical grid line at x 40", 40, 30, grid},
    {"well: no line at x 32 (the grid is 16 px, not the cells' 24)", 32, 30, fill},
    {"well: no line at x 48", 48, 30, fill},
    {"well horizontal grid line at y 40", 30, 40, grid},
    {"well: no line at y 32", 30, 32, fill},
    {"well: no line at y 48", 30, 48, fill},
    {"well last vertical grid line at x 248", 248, 100, grid},
    {"well fill right of the last line", 256, 100, fill},
    {"well last horizontal grid line at y 488", 100, 488, grid},
    {"well bottom row: fill, no bottom line", 100, 503, fill},
    {"well white column, top", 263, 24, white},
    {"well white column over a grid row", 263, 40, white},
    {"well white column, bottom", 263, 503, white},
    {"left of the well", 23, 100, black},
    {"above the well", 100, 23, black},
    {"right of the well", 264, 100, black},
    {"below the well", 100, 504, black},
    {"next box top-left corner", 288, 24, grid},
    {"next box fill", 300, 30, fill},
    {"next box vertical line at x 304", 304, 30, grid},
    {"next box last vertical line at x 368", 368, 50, grid},
    {"next box last horizontal line at y 104", 300, 104, grid},
    {"next box bottom row, no bottom line", 300, 119, fill},
    {"next box white column, top", 383, 24, white},
    {"next box white column, bottom", 383, 119, white},
    {"right of the next box", 384, 50, black},
    {"between the preview boxes", 300, 130, black},
    {"after-next box top-left corner", 288, 144, grid},
    {"after-next box fill", 300, 150, fill},
    {"after-next box horizontal line at y 160", 300, 160, grid},
    {"after-next box last horizontal line at y 224", 300, 224, grid},
    {"after-next box white column, top", 383, 144, white},
    {"after-next box white column, bottom", 383, 239, white},
    {"below the after-next box", 300, 240, black},
    {"score panel", 300, 300, black},
    {"top-left corner of the image", 0, 0, black},
    {"last shown row", 200, 523, black},
    {"hidden rows below the canvas", 100, 524, black},
    {"bottom-right corner of the image", 407, 527, black},
};

TEST(BackdropTest, KeyPixelsHaveTheirColours)
{
    const Bytes bmp = readResource("backdrop.bmp");
    ASSERT_EQ(bmp.size(), 54u + 408u * 3u * 528u);
    for (const BackdropPoint& point : backdropPoints)
        EXPECT_EQ(bmpPixel(bmp, point.x, point.y), point.colour)
            << point.what << " at (" << point.x << ", " << point.y << ")";
}

struct BoxExtent {
    const char* name;
    int left, top, right, bottom;
};
constexpr BoxExtent boxExtents[] = {
    {"well", 24, 24, 263, 503}, {"next box", 288, 24, 383, 119}, {"after-next box", 288, 144, 383, 239}};

// Whole-image pass: black everywhere outside the three boxes (the hidden bottom rows too), and
// inside each box only the fill, the grid and the white right-hand column, with the grid's
// lines exactly every 16 pixels from the box's top row and left column.
TEST(BackdropTest, BoxesAreFilledGriddedAndEdgedAndAllElseIsBlack)
{
    const Bytes bmp = readResource("backdrop.bmp");
    ASSERT_EQ(bmp.size(), 54u + 408u * 3u * 528u);
    int wrong = 0;
    for (int y = 0; y < 528 && wrong < 10; ++y) {
        for (int x = 0; x < 408 && wrong < 10; ++x) {
            Rgb expected = black;
            for (const BoxExtent& box : boxExtents) {
                if (x < box.left || x > box.right || y < box.top || y > box.bottom) continue;
                if (x == box.right)
                    expected = white;
                else if ((x - box.left) % 16 == 0 || (y - box.top) % 16 == 0)
                    expected = grid;
                else
                    expected = fill;
            }
            const Rgb actual = bmpPixel(bmp, x, y);
            if (actual != expected) {
                ++wrong;
                ADD_FAILURE() << "(" << x << ", " << y << ") is " << describe(actual) << ", expected "
                              << describe(expected);
            }
        }
    }
}

// The shades exactly as the game's art table gives them: base (left), light (top), dark
// (right), darkest (bottom).
struct TileRow {
    const char* colourName;
    Rgb base, light, dark, darkest;
};
const TileRow tileTable[8] = {
    {"red", {255, 130, 130}, {255, 162, 162}, {191, 97, 97}, {127, 65, 65}},
    {"yellow", {247, 255, 130}, {255, 255, 162}, {185, 191, 97}, {123, 127, 65}},
    {"yellowGreen", {175, 255, 130}, {218, 255, 162}, {131, 191, 97}, {87, 127, 65}},
    {"cyan", {130, 255, 212}, {162, 255, 255}, {97, 191, 159}, {65, 127, 106}},
    {"blue", {130, 148, 255}, {162, 185, 255}, {97, 111, 191}, {65, 74, 127}},
    {"magenta", {250, 130, 255}, {255, 162, 255}, {187, 97, 191}, {125, 65, 127}},
    {"orange", {255, 186, 130}, {255, 232, 162}, {191, 139, 97}, {127, 93, 65}},
    {"grey", {184, 184, 184}, {230, 230, 230}, {138, 138, 138}, {92, 92, 92}},
};

// base × 9/8 and base × 5/8, truncated and held at 255, for the two seams with shades of their own.
Rgb seamShade(Rgb base, int eighths)
{
    auto channel = [&](int value) { return static_cast<std::uint8_t>(std::min(255, value * eighths / 8)); };
    return {channel(base.red), channel(base.green), channel(base.blue)};
}

class TileTest : public testing::TestWithParam<int> {};

TEST_P(TileTest, ShadesMatchTheTable)
{
    const int tile = GetParam();
    const TileRow& row = tileTable[tile];
    const TileShades shades = tileShades(tile);
    EXPECT_EQ(shades.base, row.base);
    EXPECT_EQ(shades.light, row.light);
    EXPECT_EQ(shades.dark, row.dark);
    EXPECT_EQ(shades.darkest, row.darkest);
}

TEST_P(TileTest, TrianglesHaveTheirShadesAtSamplePoints)
{
    const int tile = GetParam();
    const TileRow& row = tileTable[tile];
    const Bytes bmp = readResource("tiles.bmp");
    ASSERT_EQ(bmp.size(), 54u + 24u * 3u * 192u);
    const int top = 24 * tile;
    const struct {
        const char* where;
        int x, y;
        Rgb colour;
    } samples[] = {
        {"top triangle, near the edge", 12, 1, row.light},
        {"top triangle, near the centre", 12, 9, row.light},
        {"left triangle, near the edge", 1, 12, row.base},
        {"left triangle, near the centre", 9, 11, row.base},
        {"right triangle, near the edge", 22, 12, row.dark},
        {"right triangle, near the centre", 14, 12, row.dark},
        {"bottom triangle, near the edge", 12, 22, row.darkest},
        {"bottom triangle, near the centre", 11, 14, row.darkest},
        {"top/left seam", 5, 5, seamShade(row.base, 9)},
        {"top/right seam", 18, 5, row.base},
        {"left/bottom seam", 5, 18, row.dark},
        {"bottom/right seam", 18, 18, seamShade(row.base, 5)},
        {"top-left corner (seam)", 0, 0, seamShade(row.base, 9)},
        {"top-right corner (seam)", 23, 0, row.base},
        {"bottom-left corner (seam)", 0, 23, row.dark},
        {"bottom-right corner (seam)", 23, 23, seamShade(row.base, 5)},
    };
    for (const auto& sample : samples)
        EXPECT_EQ(bmpPixel(bmp, sample.x, top + sample.y), sample.colour)
            << row.colourName << " tile, " << sample.where << " at (" << sample.x << ", " << sample.y << ")";
}

// Every pixel off the diagonals belongs to one triangle and has its shade, and every diagonal
// pixel has its seam's shade, except the four centre pixels where the seams meet, which are free.
TEST_P(TileTest, EveryPixelHasItsTriangleOrSeamShade)
{
    const int tile = GetParam();
    const TileRow& row = tileTable[tile];
    const Bytes bmp = readResource("tiles.bmp");
    ASSERT_EQ(bmp.size(), 54u + 24u * 3u * 192u);
    int wrong = 0;
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            if ((x == 11 || x == 12) && (y == 11 || y == 12)) continue;
            const bool aboveFalling = y < x;       // above the diagonal from top-left
            const bool aboveRising = x + y < 23;   // above the diagonal from bottom-left
            Rgb expected;
            if (x == y)
                expected = x < 12 ? seamShade(row.base, 9) : seamShade(row.base, 5);
            else if (x + y == 23)
                expected = y < 12 ? row.base : row.dark;
            else if (aboveFalling && aboveRising)
                expected = row.light;
            else if (aboveFalling)
                expected = row.dark;
            else if (aboveRising)
                expected = row.base;
            else
                expected = row.darkest;
            const Rgb actual = bmpPixel(bmp, x, 24 * tile + y);
            if (actual != expected && ++wrong <= 5)
                ADD_FAILURE() << row.colourName << " tile (" << x << ", " << y << ") is " << describe(actual)
                              << ", expected " << describe(expected);
        }
    }
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(AllTiles, TileTest, testing::Range(0, 8),
                         [](const testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "_" + tileTable[info.param].colourName;
                         });

} // namespace
