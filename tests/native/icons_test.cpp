#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Decodes the committed .ico files byte by byte, as the platform would.
static std::vector<uint8_t> ReadFile(const std::string& name) {
    std::ifstream in(std::string(HARKWIN_ICON_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
static uint32_t U16(const std::vector<uint8_t>& d, size_t at) { return d.at(at) | d.at(at + 1) << 8; }
static uint32_t U32(const std::vector<uint8_t>& d, size_t at) { return U16(d, at) | U16(d, at + 2) << 16; }

struct Image {
    int size, bits;
    std::vector<uint8_t> data;            // header onwards
    uint8_t Colour(int x, int y) const {  // top-down coordinates
        int stride = ((size * bits + 31) / 32) * 4;
        size_t row = 40 + (4u << bits) + size_t(size - 1 - y) * stride;
        if (bits == 8) return data.at(row + x);
        uint8_t b = data.at(row + x / 2);
        return x % 2 ? b & 0x0F : b >> 4;
    }
    bool Transparent(int x, int y) const {
        int stride = ((size * bits + 31) / 32) * 4;
        size_t mask = 40 + (4u << bits) + size_t(size) * stride + size_t(size - 1 - y) * (((size + 31) / 32) * 4);
        return data.at(mask + x / 8) & (0x80 >> (x % 8));
    }
    // The palette entry as 0xRRGGBB.
    uint32_t Rgb(uint8_t index) const {
        size_t at = 40 + 4u * index;
        return data.at(at + 2) << 16 | data.at(at + 1) << 8 | data.at(at);
    }
};

static std::vector<Image> Decode(const std::string& name) {
    std::vector<uint8_t> d = ReadFile(name);
    std::vector<Image> images;
    EXPECT_GE(d.size(), 6u) << name;
    if (d.size() < 6) return images;
    EXPECT_EQ(1u, U16(d, 2));
    for (uint32_t i = 0; i < U16(d, 4); ++i) {
        size_t entry = 6 + 16 * i;
        uint32_t length = U32(d, entry + 8), offset = U32(d, entry + 12);
        Image image{d.at(entry) ? d.at(entry) : 256, int(U16(d, entry + 6)),
                    std::vector<uint8_t>(d.begin() + offset, d.begin() + offset + length)};
        EXPECT_EQ(40u, U32(image.data, 0));
        EXPECT_EQ(uint32_t(image.size), U32(image.data, 4));
        EXPECT_EQ(uint32_t(image.size * 2), U32(image.data, 8));
        EXPECT_EQ(uint32_t(image.bits), U16(image.data, 14));
        EXPECT_EQ(0u, U32(image.data, 16));  // uncompressed
        images.push_back(image);
    }
    return images;
}

static bool InDisc(int x, int y) {
    static const int from[16] = {99, 99, 99, 7, 5, 4, 4, 3, 3, 4, 4, 5, 7, 99, 99, 99};
    static const int to[16] = {-1, -1, -1, 8, 10, 11, 11, 12, 12, 11, 11, 10, 8, -1, -1, -1};
    return x >= from[y] && x <= to[y];
}

TEST(Icons, StatusDiscsOfOnePureColour) {
    static const uint32_t vga[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
                                     0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    struct Row {
        const char* file;
        uint8_t index;
        uint32_t rgb;
    } rows[] = {{"yellow.ico", 11, 0xFFFF00}, {"green.ico", 10, 0x00FF00}, {"red.ico", 9, 0xFF0000}};
    for (const Row& r : rows) {
        std::vector<Image> images = Decode(r.file);
        ASSERT_EQ(1u, images.size()) << r.file;
        const Image& icon = images[0];
        EXPECT_EQ(16, icon.size);
        EXPECT_EQ(4, icon.bits);
        EXPECT_EQ(296u, icon.data.size());
        for (int i = 0; i < 16; ++i) EXPECT_EQ(vga[i], icon.Rgb(uint8_t(i))) << r.file << " palette " << i;
        EXPECT_EQ(r.rgb, icon.Rgb(r.index));
        // Drawn on a background of any colour, exactly the disc's 68 pixels change.
        for (uint32_t background : {0x123456u, 0xFFFFFFu, 0x000001u}) {
            int changed = 0;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 16; ++x) {
                    uint32_t drawn = icon.Transparent(x, y) ? background : icon.Rgb(icon.Colour(x, y));
                    EXPECT_EQ(InDisc(x, y), !icon.Transparent(x, y)) << r.file << " " << x << "," << y;
                    EXPECT_EQ(InDisc(x, y) ? r.index : 0, icon.Colour(x, y)) << r.file << " " << x << "," << y;
                    changed += drawn != background;
                }
            EXPECT_EQ(68, changed) << r.file;
        }
    }
}

TEST(Icons, ApplicationIconHasItsFourImages) {
    std::vector<Image> images = Decode("app.ico");
    ASSERT_EQ(4u, images.size());
    const int sizes[] = {32, 32, 16, 16}, bits[] = {4, 8, 4, 8};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(sizes[i], images[i].size) << i;
        EXPECT_EQ(bits[i], images[i].bits) << i;
        int opaque = 0;
        for (int y = 0; y < sizes[i]; ++y)
            for (int x = 0; x < sizes[i]; ++x) opaque += !images[i].Transparent(x, y);
        // A picture, with a transparent surround.
        EXPECT_GT(opaque, sizes[i] * sizes[i] / 4) << i;
        EXPECT_LT(opaque, sizes[i] * sizes[i] * 3 / 4) << i;
        EXPECT_TRUE(images[i].Transparent(0, 0)) << i;
    }
}
