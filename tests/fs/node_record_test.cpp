// The node record on its own: written, measured and read back alike, and a
// node built from a record as from its bytes.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "fs/file.h"
#include "fs/node_record.h"

namespace {

struct RecordCase {
    const char* label;
    std::uint32_t kind;
    std::string name;
    std::string content;
    std::uint32_t childCount;
};

const RecordCase kRecords[] = {
    {"empty", 0, "", "", 0},
    {"file", 1, "README.txt", "text\n", 0},
    {"odd_kind_bytes_above_127", 0xfedcba98,
     std::string("n\0\xff"
                 "e",
                 4),
     std::string(300, '\x80'), 0x01020304},
    {"longest_name", 0, std::string(65'535, 'n'), "", 4'000'000'000u},
    {"content_over_64_KiB", 1, "big", std::string(70'000, 'c'), 1},
};

void PrintTo(const RecordCase& c, std::ostream* out) { *out << c.label; }

class NodeRecordBytes : public testing::TestWithParam<RecordCase> {};

TEST_P(NodeRecordBytes, ReadBackAsWrittenInTheBytesCounted) {
    const RecordCase& c = GetParam();
    std::string bytes;
    appendNodeRecord(bytes, {c.kind, c.name, c.content}, c.childCount);
    ASSERT_EQ(bytes.size(), nodeBytes(c.name.size(), c.content.size()));

    const char* const end = bytes.data() + bytes.size();
    EXPECT_TRUE(nodeFits(bytes.data(), end));
    EXPECT_FALSE(nodeFits(bytes.data(), end - 1));
    const char* pos = bytes.data();
    const NodeRecord record = readNodeRecord(pos);
    EXPECT_EQ(record.kind, c.kind);
    EXPECT_EQ(record.name, c.name);
    EXPECT_EQ(record.content, c.content);
    EXPECT_EQ(readChildCount(pos), c.childCount);
    EXPECT_EQ(pos, end);

    pos = bytes.data();
    const file fromBytes(pos, nullptr);
    const file fromRecord(NodeRecord{c.kind, c.name, c.content}, nullptr);
    EXPECT_EQ(fromBytes.kind, fromRecord.kind);
    EXPECT_EQ(fromBytes.name, fromRecord.name);
    EXPECT_EQ(fromBytes.content, fromRecord.content);
    EXPECT_EQ(fromRecord.name, c.name);
    EXPECT_EQ(fromRecord.content, c.content);
}

INSTANTIATE_TEST_SUITE_P(Records, NodeRecordBytes, testing::ValuesIn(kRecords),
                         [](const testing::TestParamInfo<RecordCase>& info) {
                             return info.param.label;
                         });

}  // namespace
