// Writes the application icon: one .ico file with two 16-colour images, 32x32 and 16x16.
//
// The picture (a small television set with its remote) is drawn here in code rather than kept
// only as a binary, so it can be reproduced byte for byte and reviewed as text. The build
// checks that the committed res/Test_rireruv.ico is what this program writes.
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// The standard 16-colour VGA palette, as icons of this depth expect.
const uint8_t kPalette[16][3] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                 {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                 {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                 {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
enum Colour {
    kBlack = 0,
    kDarkGrey = 8,
    kGrey = 7,
    kRed = 9,
    kGreen = 10,
    kCyan = 14,
    kWhite = 15
};

struct Image {
    int size;
    std::vector<int> pixels; // colour index per pixel, -1 = transparent; row 0 is the top
    explicit Image(int s) : size(s), pixels(s * s, -1) {}
    // Rectangles are given on a 32-pixel grid, inclusive, and scaled down for smaller images.
    void fill(int x0, int y0, int x1, int y1, int colour) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                pixels[(y * size / 32) * size + x * size / 32] = colour;
    }
};

Image draw(int size) {
    Image im(size);
    im.fill(9, 1, 10, 6, kDarkGrey);   // antenna, left
    im.fill(21, 1, 22, 6, kDarkGrey);  // antenna, right
    im.fill(2, 7, 29, 27, kBlack);     // cabinet outline
    im.fill(3, 8, 28, 26, kGrey);      // cabinet
    im.fill(5, 10, 22, 24, kDarkGrey); // screen bezel
    im.fill(6, 11, 21, 23, kCyan);     // screen
    im.fill(8, 13, 13, 16, kWhite);    // a glint on the screen
    im.fill(24, 11, 26, 13, kRed);     // power lamp
    im.fill(24, 16, 26, 18, kGreen);   // remote-sensor window
    im.fill(4, 28, 7, 30, kBlack);     // feet
    im.fill(24, 28, 27, 30, kBlack);
    return im;
}

void put16(std::vector<uint8_t>& out, unsigned v) {
    out.push_back(v & 0xFF);
    out.push_back((v >> 8) & 0xFF);
}
void put32(std::vector<uint8_t>& out, unsigned v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

// One icon image as stored in a .ico file: header, palette, colour bits, then the mask.
std::vector<uint8_t> encode(const Image& im) {
    const int n = im.size;
    const int xorStride = ((n * 4 + 31) / 32) * 4;
    const int andStride = ((n + 31) / 32) * 4;
    std::vector<uint8_t> out;
    put32(out, 40);
    put32(out, n);
    put32(out, 2 * n); // colour bits and mask together
    put16(out, 1);
    put16(out, 4);
    put32(out, 0);
    put32(out, (xorStride + andStride) * n);
    for (int i = 0; i < 4; ++i)
        put32(out, 0);
    for (const auto& c : kPalette) {
        out.push_back(c[2]);
        out.push_back(c[1]);
        out.push_back(c[0]);
        out.push_back(0);
    }
    for (int y = n - 1; y >= 0; --y) { // bottom-up rows
        std::vector<uint8_t> row(xorStride, 0);
        for (int x = 0; x < n; ++x) {
            const int c = im.pixels[y * n + x];
            row[x / 2] |= (c < 0 ? 0 : c) << (x % 2 ? 0 : 4);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = n - 1; y >= 0; --y) {
        std::vector<uint8_t> row(andStride, 0);
        for (int x = 0; x < n; ++x)
            if (im.pixels[y * n + x] < 0)
                row[x / 8] |= 0x80 >> (x % 8);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_icon OUTPUT.ico\n");
        return 2;
    }
    const std::vector<uint8_t> images[2] = {encode(draw(32)), encode(draw(16))};
    std::vector<uint8_t> file;
    put16(file, 0);
    put16(file, 1); // an icon, not a cursor
    put16(file, 2);
    unsigned offset = 6 + 2 * 16;
    const int sizes[2] = {32, 16};
    for (int i = 0; i < 2; ++i) {
        file.push_back(sizes[i]);
        file.push_back(sizes[i]);
        file.push_back(16);
        file.push_back(0);
        put16(file, 1);
        put16(file, 4);
        put32(file, images[i].size());
        put32(file, offset);
        offset += images[i].size();
    }
    for (const auto& im : images)
        file.insert(file.end(), im.begin(), im.end());
    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(file.data(), 1, file.size(), f) != file.size() || std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
