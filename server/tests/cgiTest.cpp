// cgiTest.cpp: the ranking program run as a plain CGI program, and the operator's admin command.
#include "support.h"

#include <gtest/gtest.h>

namespace {

class Cgi : public testing::Test {
protected:
    void TearDown() override { removeTree(dir); }
    std::string dir = makeTempDir();
    std::string database = dir + "/ranking.sqlite3";
};

TEST_F(Cgi, AnswersOneRequestPerRun) {
    CgiResult first = runCgi("POST", "ABC_1200", database);
    EXPECT_EQ(first.exitStatus, 0);
    EXPECT_NE(first.output.find("Content-Type: text/plain; charset=Shift_JIS\r\n"), std::string::npos);
    EXPECT_NE(firstToken(first.body).find("1\x88\xca ABC 1200\n"), std::string::npos);  // "1位 ABC 1200"
    EXPECT_NE(runCgi("GET", "", database).body.find("<td class=\"name\">ABC</td>"), std::string::npos);
    // Without a length (a gateway streaming a chunked body) the body is read to its end, within the
    // same limit; a body shorter than its length is refused.
    const struct {
        const char* method;
        std::string body;
        const char* environment;
        int status;
    } rows[] = {
        {"POST", std::string(65, 'A'), "", 413},  {"DELETE", "", "", 405},
        {"POST", "NOLENGTH_3", "CONTENT_LENGTH=", 200}, {"POST", std::string(100000, 'A'), "CONTENT_LENGTH=", 413},
        {"POST", "ABC_12", "CONTENT_LENGTH=20", 400},
    };
    for (const auto& row : rows)
        EXPECT_EQ(runCgi(row.method, row.body, database, row.environment).status, row.status) << row.method << " " << row.environment;
    // No REQUEST_METHOD: started by hand from a shell, it explains itself and answers nothing.
    CgiResult byHand = runCgi("", "", database);
    EXPECT_EQ(byHand.exitStatus, 2);
    EXPECT_EQ(byHand.output, "");
}

TEST_F(Cgi, TheOperatorRemovesANameTypedInUtf8) {
    ASSERT_EQ(runCgi("POST", "\x81\x5F\x82\xA0_50", database).status, 200);  // "＼あ"
    ASSERT_EQ(runCgi("POST", "OTHER_40", database).status, 200);
    std::string admin = "'" PILARO_RANKING_ADMIN "' --db '" + database + "' ";
    EXPECT_EQ(runShell(admin + "remove '＼あ' >/dev/null"), 0);
    EXPECT_EQ(runShell(admin + "remove '＼あ' 2>/dev/null"), 1);  // gone already
    EXPECT_EQ(runShell(admin + "remove-hex 4F54484552 >/dev/null"), 0);  // "OTHER"
    EXPECT_EQ(runShell(admin + "remove '😀' 2>/dev/null"), 1);  // no code page 932 form
    EXPECT_EQ(runShell(admin + "check >/dev/null"), 0);
    EXPECT_EQ(runCgi("GET", "", database).body.find("<td class=\"name\">"), std::string::npos);
}

}  // namespace
