// The command rules, in the order the loop tries them, through the real
// executable with the "shell" fixture image linked in.
#include <gtest/gtest.h>

#include "terminal_session.h"

namespace {

const std::string P(kPrompt);
const std::string CRASH(kCrash);
const std::string TAUNT(kTaunt);
const std::string ROOT_LISTING =
    "alpha\nREADME.txt\nnote.txt\n..\n\ndup\ndup\nempty.txt\nodd\nwith space\nplain.bin\nbinary.dat\n";

struct SessionCase {
    const char* name;
    std::string input;
    std::string output;  // everything after the first prompt
    int status;
};

void PrintTo(const SessionCase& c, std::ostream* os) { *os << c.name; }

class ShellSession : public testing::TestWithParam<SessionCase> {};

TEST_P(ShellSession, WritesExactlyAndEndsWithStatus) {
    const SessionCase& c = GetParam();
    EXPECT_SESSION(runFixture("shell", c.input), startOfSession() + c.output, c.status);
}

const SessionCase kCases[] = {
    {"end_of_input_at_prompt", "", "", 0},
    {"dir_lists_children_in_image_order", "dir\n", ROOT_LISTING + P, 0},
    {"last_line_without_line_end_is_carried_out", "dir", ROOT_LISTING + P, 0},
    {"crlf_line_end", "dir\r\n", ROOT_LISTING + P, 0},
    {"only_one_cr_is_part_of_the_line_end", "dir\r\r\n", CRASH, kLeftStatus},
    {"cr_without_line_feed_stays_in_the_line", "dir\r", CRASH, kLeftStatus},

    {"cls", "cls\n", P, 0},
    {"cls_prefix_with_anything_after_it", "clsXYZ\ncls dir\n", P + P, 0},
    {"cls_with_nul_after_it", std::string("cls\0x\n", 6), P, 0},
    {"cls_in_capitals_is_unrecognised", "CLS\n", CRASH, kLeftStatus},

    {"ls_alone_is_refused", "ls\n", TAUNT, kLeftStatus},
    {"ls_with_options_is_refused", "ls -la\n", TAUNT, kLeftStatus},
    {"ls_with_a_trailing_space", "ls \n", TAUNT, kLeftStatus},
    {"grep_alone_is_refused", "grep\n", TAUNT, kLeftStatus},
    {"grep_with_arguments_is_refused", "grep x README.txt\n", TAUNT, kLeftStatus},
    {"cat_alone_is_refused", "cat\n", TAUNT, kLeftStatus},
    {"cat_of_a_file_is_refused", "cat README.txt\n", TAUNT, kLeftStatus},
    {"refusal_ends_the_session_after_earlier_commands", "cd alpha\nls\ndir\n", P + TAUNT, kLeftStatus},
    {"catalog_is_unrecognised", "catalog\n", CRASH, kLeftStatus},
    {"lsx_is_unrecognised", "lsx\n", CRASH, kLeftStatus},
    {"ls_with_a_tab_is_unrecognised", "ls\t-l\n", CRASH, kLeftStatus},
    {"greppy_is_unrecognised", "greppy\n", CRASH, kLeftStatus},
    {"LS_in_capitals_is_unrecognised", "LS\n", CRASH, kLeftStatus},
    {"leading_space_is_unrecognised", " ls\n", CRASH, kLeftStatus},

    {"dir_with_a_space_is_unrecognised", "dir \n", CRASH, kLeftStatus},
    {"dir_with_an_argument_is_unrecognised", "dir alpha\n", CRASH, kLeftStatus},
    {"dir_in_capitals_is_unrecognised", "DIR\n", CRASH, kLeftStatus},
    {"dir_with_nul_is_unrecognised", std::string("dir\0\n", 5), CRASH, kLeftStatus},

    {"cd_into_a_directory", "cd alpha\ndir\n", P + "beta\nREADME.txt\nsecret.txt\n" + P, 0},
    {"cd_alone_returns_to_the_root", "cd alpha\ncd beta\ncd gamma\ncd\ndir\n",
     P + P + P + P + ROOT_LISTING + P, 0},
    {"cd_dotdot_moves_to_the_parent", "cd alpha\ncd beta\ncd ..\ndir\n",
     P + P + P + "beta\nREADME.txt\nsecret.txt\n" + P, 0},
    {"cd_dotdot_at_the_root_stays_there", "cd ..\ncd ..\ndir\n", P + P + ROOT_LISTING + P, 0},
    {"cd_to_a_missing_name", "cd nowhere\n", CRASH, kLeftStatus},
    {"cd_name_differing_in_case", "cd Alpha\n", CRASH, kLeftStatus},
    {"cd_does_not_split_paths", "cd alpha/beta\n", CRASH, kLeftStatus},
    {"cd_dot_is_a_plain_name", "cd .\n", CRASH, kLeftStatus},
    {"cd_keeps_trailing_spaces_in_the_name", "cd alpha \n", CRASH, kLeftStatus},
    {"cd_name_with_a_space", "cd with space\ndir\n", P + "x\n" + P, 0},
    {"cd_empty_name_finds_the_child_with_an_empty_name", "cd \ndir\n", P + "blank-child.txt\n" + P, 0},
    {"cd_empty_name_where_none_has_it", "cd alpha\ncd \n", P + CRASH, kLeftStatus},
    {"cd_dotdot_never_enters_a_child_named_dotdot", "cd ..\ndir\n", P + ROOT_LISTING + P, 0},
    {"duplicate_names_reach_the_first", "cd dup\ndir\n", P + "first\n" + P, 0},
    {"cd_into_a_regular_file", "cd note.txt\ndir\ncd ..\ndir\n", P + P + P + ROOT_LISTING + P, 0},
    {"regular_file_with_children_lists_them", "cd plain.bin\ndir\ncd under\ncd\n",
     P + "under\n" + P + P + P, 0},
    {"cd_alone_from_a_regular_file", "cd note.txt\ncd\ndir\n", P + P + ROOT_LISTING + P, 0},
    {"cd_without_a_space_is_unrecognised", "cdalpha\n", CRASH, kLeftStatus},
    {"CD_in_capitals_is_unrecognised", "CD alpha\n", CRASH, kLeftStatus},

    {"exit", "exit\n", "", kLeftStatus},
    {"quit", "quit\n", "", kLeftStatus},
    {"exit_without_line_end", "exit", "", kLeftStatus},
    {"exit_after_commands", "cd alpha\ndir\nexit\ndir\n", P + "beta\nREADME.txt\nsecret.txt\n" + P,
     kLeftStatus},
    {"exit_with_a_space_is_unrecognised", "exit \n", CRASH, kLeftStatus},
    {"quit_with_an_argument_is_unrecognised", "quit now\n", CRASH, kLeftStatus},
    {"EXIT_in_capitals_is_unrecognised", "EXIT\n", CRASH, kLeftStatus},

    {"empty_line_is_unrecognised", "\n", CRASH, kLeftStatus},
    {"crlf_alone_is_an_empty_line", "\r\n", CRASH, kLeftStatus},
    {"anything_else_is_unrecognised", "help\n", CRASH, kLeftStatus},
    {"crash_ends_the_session_at_once", "cd nowhere\ndir\n", CRASH, kLeftStatus},
};

INSTANTIATE_TEST_SUITE_P(Rules, ShellSession, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<SessionCase>& info) {
                             return info.param.name;
                         });

TEST(ShellLongInput, LineLongerThanAnyBufferIsOneLine) {
    std::string longName(1 << 20, 'x');
    EXPECT_SESSION(runFixture("shell", "cd " + longName + "\n"), startOfSession() + CRASH, kLeftStatus);
    EXPECT_SESSION(runFixture("shell", "cls" + longName + "\ndir\n"),
                   startOfSession() + P + ROOT_LISTING + P, 0);
}

TEST(ShellLongInput, ManyCommandsInOneSession) {
    std::string input, expected = startOfSession();
    for (int i = 0; i < 2000; ++i) {
        input += "cd alpha\ncd ..\n";
        expected += P + P;
    }
    EXPECT_SESSION(runFixture("shell", input), expected, 0);
}

}  // namespace
