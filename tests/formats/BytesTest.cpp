#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "formats/Bytes.h"
#include "formats/ReadOnlyFile.h"
#include "tests/support/TestEnvironment.h"

namespace quiramo {
namespace {

using namespace bytes;

TEST(Bytes, ReadAndWriteEveryWidthInBothOrders) {
    const uint8_t b[8] = {0x81, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0xF8};
    EXPECT_EQ(readU16BE(b), 0x8102u);
    EXPECT_EQ(readU16LE(b), 0x0281u);
    EXPECT_EQ(readU24BE(b), 0x810203u);
    EXPECT_EQ(readU24LE(b), 0x030281u);
    EXPECT_EQ(readU32BE(b), 0x81020304u);
    EXPECT_EQ(readU32LE(b), 0x04030281u);
    EXPECT_EQ(readU64BE(b), 0x81020304050607F8ull);
    EXPECT_EQ(readU64LE(b), 0xF807060504030281ull);

    std::vector<uint8_t> out;
    appendU16BE(out, 0x8102);
    appendU16LE(out, 0x8102);
    appendU24BE(out, 0xFF810203);  // only the low 24 bits
    appendU24LE(out, 0x810203);
    appendU32BE(out, 0x81020304);
    appendU32LE(out, 0x81020304);
    appendU64BE(out, 0x81020304050607F8ull);
    appendU64LE(out, 0x81020304050607F8ull);
    appendText(out, "QUER");
    const std::vector<uint8_t> expected = {0x81, 0x02, 0x02, 0x81, 0x81, 0x02, 0x03, 0x03, 0x02, 0x81,
                                           0x81, 0x02, 0x03, 0x04, 0x04, 0x03, 0x02, 0x81, 0x81, 0x02,
                                           0x03, 0x04, 0x05, 0x06, 0x07, 0xF8, 0xF8, 0x07, 0x06, 0x05,
                                           0x04, 0x03, 0x02, 0x81, 'Q',  'U',  'E',  'R'};
    EXPECT_EQ(out, expected);

    uint8_t w[8] = {};
    writeU64LE(w, 0x81020304050607F8ull);
    EXPECT_EQ(readU64LE(w), 0x81020304050607F8ull);
    writeU24BE(w, 0x123456);
    EXPECT_EQ(readU24BE(w), 0x123456u);
    EXPECT_TRUE(isFourCC(reinterpret_cast<const uint8_t*>("fmt "), "fmt "));
    EXPECT_FALSE(isFourCC(reinterpret_cast<const uint8_t*>("FMT "), "fmt "));
}

TEST(ReadOnlyFile, FileAndMemoryReadAlike) {
    test::TempDir dir;
    const std::vector<uint8_t> content = {1, 2, 3, 4, 5, 6, 7};
    {
        std::ofstream f(dir.file("f"), std::ios::binary);
        f.write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    }
    ReadOnlyFile onDisk;
    ASSERT_TRUE(onDisk.open(dir.file("f")));
    ReadOnlyFile inMemory;
    inMemory.openMemory(content.data(), content.size());

    for (ReadOnlyFile* f : {&onDisk, &inMemory}) {
        EXPECT_EQ(f->length(), 7u);
        uint8_t buf[8] = {};
        EXPECT_EQ(f->read(buf, 3), 3u);
        EXPECT_EQ(buf[2], 3);
        EXPECT_EQ(f->tell(), 3u);
        ASSERT_TRUE(f->seek(5));
        EXPECT_EQ(f->read(buf, 8), 2u);  // short read at the end
        EXPECT_EQ(buf[0], 6);
        EXPECT_EQ(buf[1], 7);
        EXPECT_TRUE(f->eof());
        EXPECT_EQ(f->read(buf, 1), 0u);
        EXPECT_TRUE(f->seek(7));
        EXPECT_FALSE(f->seek(8));
        EXPECT_EQ(f->tell(), 7u);
        EXPECT_FALSE(f->failed());
    }

    ReadOnlyFile none;
    EXPECT_FALSE(none.open(dir.file("missing")));
    EXPECT_FALSE(none.open(dir.path()));  // a folder is not a file
    EXPECT_FALSE(none.isOpen());
    uint8_t b = 0;
    EXPECT_EQ(none.read(&b, 1), 0u);

    ReadOnlyFile moved = std::move(onDisk);
    EXPECT_TRUE(moved.isOpen());
    EXPECT_FALSE(onDisk.isOpen());
}

}  // namespace
}  // namespace quiramo
