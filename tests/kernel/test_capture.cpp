// TGA writing: headers, pixel order and run-length packets.
#include <fstream>
#include <iterator>
#include <vector>

#include "kernel/capture.h"
#include "tests/support/kernel_fixture.h"

using Bytes = std::vector<uint8_t>;

static Bytes writeAndRead(const ScratchDirectory &scratch, Bytes pixels, int width, int height,
                          int compress)
{
    std::string path = scratch.path() + "/out.tga";
    writeTGA(path.c_str(), pixels.data(), width, height, compress);
    std::ifstream file(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), {});
}

// The pixels of an RGB image given as one letter per pixel: each letter
// stands for the colour (letter, letter + 1, letter + 2).
static Bytes image(const std::string &letters)
{
    Bytes pixels;
    for (char letter : letters)
        pixels.insert(pixels.end(), {uint8_t(letter), uint8_t(letter + 1), uint8_t(letter + 2)});
    return pixels;
}

static Bytes bgr(char letter)
{
    return {uint8_t(letter + 2), uint8_t(letter + 1), uint8_t(letter)};
}

static Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST(WriteTGA, HeaderAndUncompressedPixelsBottomRowFirst)
{
    ScratchDirectory scratch;
    Bytes file = writeAndRead(scratch, image("abcdef"), 3, 2, 0);
    Bytes header = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0};
    EXPECT_EQ(Bytes(file.begin(), file.begin() + 18), header);
    EXPECT_EQ(Bytes(file.begin() + 18, file.end()),
              concat({bgr('a'), bgr('b'), bgr('c'), bgr('d'), bgr('e'), bgr('f')}));

    Bytes big = writeAndRead(scratch, Bytes(640 * 480 * 3, 7), 640, 480, 0);
    EXPECT_EQ(big.size(), 18u + 921600u);
    EXPECT_EQ(big[12], 640 & 0xff);
    EXPECT_EQ(big[13], 640 >> 8);
}

TEST(WriteTGA, RunLengthPackets)
{
    struct Case {
        std::string pixels;
        int width;
        Bytes data;
    };
    const Case cases[] = {
        {"abccc", 5, concat({{1}, bgr('a'), bgr('b'), {130}, bgr('c')})},
        {"a", 1, concat({{0}, bgr('a')})},
        {"aab", 3, concat({{129}, bgr('a'), {0}, bgr('b')})},
        // Packets run on from one row into the next.
        {"abba", 2, concat({{0}, bgr('a'), {129}, bgr('b'), {0}, bgr('a')})},
    };
    ScratchDirectory scratch;
    for (const Case &c : cases) {
        int height = static_cast<int>(c.pixels.size()) / c.width;
        Bytes file = writeAndRead(scratch, image(c.pixels), c.width, height, 1);
        EXPECT_EQ(file[2], 10);
        EXPECT_EQ(Bytes(file.begin() + 18, file.end()), c.data) << c.pixels;
    }
}

TEST(WriteTGA, LongRunsAndRawStretchesSplitAt127Pixels)
{
    ScratchDirectory scratch;
    Bytes flat = writeAndRead(scratch, image(std::string(300, 'x')), 300, 1, 1);
    EXPECT_EQ(Bytes(flat.begin() + 18, flat.end()),
              concat({{254}, bgr('x'), {254}, bgr('x'), {128 + 45}, bgr('x')}));

    std::string varied;
    for (int i = 0; i < 130; i++)
        varied += char('A' + i % 50);
    Bytes raw = writeAndRead(scratch, image(varied), 130, 1, 1);
    ASSERT_EQ(raw.size(), 18u + 1 + 127 * 3 + 1 + 3 * 3);
    EXPECT_EQ(raw[18], 126);
    EXPECT_EQ(raw[18 + 1 + 127 * 3], 2);
}

TEST(WriteTGA, AFileThatCannotBeCreatedIsSkipped)
{
    Bytes pixels = image("ab");
    writeTGA("/nonexistent-directory/video/00000000.tga", pixels.data(), 2, 1, 0);
    EXPECT_EQ(pixels, image("ab"));
}
