// The window against servers whose default collation keeps varchar text in another code page
// (Cyrillic_General_CI_AS: 1251, Korean_Wansung_CI_AS: 949), with account names those servers'
// operators use. They record what the program does with such names today: it sends its statements
// in Windows-1252, so every Cyrillic or Hangul letter reaches the server as "?", and the account is
// created under a name of question marks.
#include "tests/accounts/AccountsFixture.h"

namespace {

struct NameCase {
    const char* login;       // as typed, UTF-8
    std::string arrives;     // the account name the server receives and stores
    const char* dataLength;  // DATALENGTH of the stored name, in the column's code page
};

std::string QuestionMarks(size_t n) { return std::string(n, '?'); }

class CodePageServerTest : public AccountsTest {
protected:
    standin::ServerOptions ServerSetup() const override {
        standin::ServerOptions options;
        options.collation = Collation;
        return options;
    }
    void CreatesUnderTheNameThatArrives(const std::vector<NameCase>& cases) {
        for (const NameCase& c : cases) {
            SCOPED_TRACE(c.login);
            ForgetSent();
            Create(QString::fromUtf8(c.login), "abc");
            const std::string& arrives = c.arrives;
            ASSERT_FALSE(Sent().empty());
            EXPECT_EQ(Sent().front(), "SELECT * FROM lin2db.dbo.user_auth WHERE account = '" + arrives + "'");
            EXPECT_EQ(StatusLine(), "Account created");
            EXPECT_EQ(Rows("SELECT DATALENGTH(account) FROM lin2db.dbo.user_auth WHERE account = '" + arrives + "'"),
                      std::vector<std::string>{c.dataLength});
        }
        EXPECT_TRUE(Shown().empty());
    }
    std::string Collation;
};

class CyrillicServerTest : public CodePageServerTest {
protected:
    void SetUp() override {
        Collation = "Cyrillic_General_CI_AS";
        CodePageServerTest::SetUp();
    }
};

class KoreanServerTest : public CodePageServerTest {
protected:
    void SetUp() override {
        Collation = "Korean_Wansung_CI_AS";
        CodePageServerTest::SetUp();
    }
};

TEST_F(CyrillicServerTest, CyrillicNamesArriveAsQuestionMarks) {
    CreatesUnderTheNameThatArrives({{"ivan", "ivan", "4"}, {"\u0418\u0432\u0430\u043d", QuestionMarks(4), "4"}});
    // Another name of the same length now collides with the first one's question marks: the program
    // offers to overwrite that account's password.
    ForgetSent();
    Dialogs.Answers.push_back(TDialogAnswer::No);
    Create(QString::fromUtf8("\u041f\u0451\u0442\u0440"), "abc");
    EXPECT_EQ(Sent(), std::vector<std::string>{"SELECT * FROM lin2db.dbo.user_auth WHERE account = '" +
                                               QuestionMarks(4) + "'"});
    ASSERT_FALSE(Shown().empty());
    EXPECT_EQ(Shown().back().Text, "Account already exists. Would you like to overwrite password?");
    EXPECT_EQ(Rows("SELECT COUNT(*) FROM lin2db.dbo.user_auth"), std::vector<std::string>{"2"});
}

TEST_F(KoreanServerTest, HangulNamesArriveAsQuestionMarks) {
    // Eight syllables are sixteen bytes in 949 and would not fit varchar(14); as "?" they do.
    CreatesUnderTheNameThatArrives({{"kim", "kim", "3"},
                                    {"\uac00\ub098\ub2e4\ub77c\ub9c8\ubc14\uc0ac", QuestionMarks(7), "7"},
                                    {"\uac00\ub098\ub2e4\ub77c\ub9c8\ubc14\uc0ac\uc544", QuestionMarks(8), "8"}});
    // Hangul stored by the server's own tools keeps its two bytes a syllable.
    Exec("INSERT INTO lin2db.dbo.user_auth VALUES (N'\ud64d\uae38\ub3d9',0x01,'','',0x0,0x0)");
    EXPECT_EQ(Rows("SELECT DATALENGTH(account) FROM lin2db.dbo.user_auth WHERE account = N'\ud64d\uae38\ub3d9'"),
              std::vector<std::string>{"6"});
}

}  // namespace
