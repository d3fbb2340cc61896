// The type command: README.txt as stored, every other regular file through
// the content transform, and the crash path for everything else.
#include <gtest/gtest.h>

#include "terminal_session.h"

namespace {

const std::string P(kPrompt);
const std::string CRASH(kCrash);
const std::string ROOT_README("Welcome to the fixture.\r\nSecond line\0 with NUL\n", 46);

struct TypeCase {
    const char* name;
    const char* fixture;
    std::string input;
    std::string output;  // everything after the first prompt
    int status;
};

void PrintTo(const TypeCase& c, std::ostream* os) { *os << c.name; }

class TypeCommand : public testing::TestWithParam<TypeCase> {};

TEST_P(TypeCommand, WritesTheTextOrCrashes) {
    const TypeCase& c = GetParam();
    EXPECT_SESSION(runFixture(c.fixture, c.input), startOfSession() + c.output, c.status);
}

std::string bigText() {
    std::string text;
    for (int line = 0; text.size() < 70'000; ++line)
        text += "line " + std::to_string(line) + " of a long file\n";
    return text;
}

const TypeCase kCases[] = {
    {"readme_at_the_root_as_stored", "shell", "type README.txt\n", ROOT_README + "\n\n" + P, 0},
    {"readme_in_a_subdirectory_as_stored", "shell", "cd alpha\ntype README.txt\n",
     P + "Alpha readme.\n\n\n" + P, 0},
    {"stored_file_is_shown_as_text", "shell", "type note.txt\n", "A note.\nTwo lines.\n\n" + P, 0},
    {"stored_file_in_a_subdirectory", "shell", "cd alpha\ntype secret.txt\n",
     P + "Deeper secret\n\n" + P, 0},
    {"same_file_twice_shows_the_same_text", "shell", "type note.txt\ntype note.txt\n",
     "A note.\nTwo lines.\n\n" + P + "A note.\nTwo lines.\n\n" + P, 0},
    {"empty_text_writes_only_the_line_ends", "shell", "type empty.txt\n", "\n\n" + P, 0},
    {"control_and_nul_bytes_are_written_whole", "shell", "type binary.dat\n",
     std::string("\x00\x01\x1b[31m\xff\r\n\x7f", 10) + "\n\n" + P, 0},
    {"regular_file_with_children", "shell", "type plain.bin\n", "plain\n\n" + P, 0},
    {"empty_name_of_a_file", "shell", "cd \ntype blank-child.txt\n", P + "x\n\n" + P, 0},
    {"content_longer_than_64k", "big-content", "type big.txt\n", bigText() + "\n\n" + P, 0},
    {"pad_of_zero_removes_nothing", "bad-contents", "type pad-zero\n",
     std::string("sixteen bytes!!\0", 16) + "\n\n" + P, 0},
    {"pad_of_one_removes_one_byte", "bad-contents", "type pad-one\n", "fifteen bytes..\n\n" + P, 0},

    {"missing_name", "shell", "type nothing.txt\n", CRASH, kLeftStatus},
    {"name_in_other_case", "shell", "type readme.txt\n", CRASH, kLeftStatus},
    {"a_directory", "shell", "type alpha\n", CRASH, kLeftStatus},
    {"a_child_named_dotdot_is_looked_up", "shell", "type ..\n", CRASH, kLeftStatus},
    {"a_node_of_another_kind", "shell", "type odd\n", CRASH, kLeftStatus},
    {"type_alone", "shell", "type\n", CRASH, kLeftStatus},
    {"type_with_nothing_where_no_child_has_an_empty_name", "shell", "cd alpha\ntype \n", P + CRASH,
     kLeftStatus},
    {"type_with_nothing_finds_a_directory_with_an_empty_name", "shell", "type \n", CRASH, kLeftStatus},
    {"type_does_not_split_paths", "shell", "type alpha/README.txt\n", CRASH, kLeftStatus},
    {"any_type_after_cd_into_a_regular_file", "shell", "cd note.txt\ntype note.txt\n", P + CRASH,
     kLeftStatus},
    {"TYPE_in_capitals_is_unrecognised", "shell", "TYPE note.txt\n", CRASH, kLeftStatus},

    {"empty_stored_content", "bad-contents", "type empty-content\n", CRASH, kLeftStatus},
    {"stored_content_with_a_partial_block", "bad-contents", "type partial-block\n", CRASH, kLeftStatus},
    {"pad_longer_than_the_content", "bad-contents", "type pad-past-end\n", CRASH, kLeftStatus},
};

INSTANTIATE_TEST_SUITE_P(Type, TypeCommand, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<TypeCase>& info) { return info.param.name; });

}  // namespace
