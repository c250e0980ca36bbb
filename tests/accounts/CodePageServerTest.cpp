// The window against servers whose default collation keeps varchar text in another code page
// (Cyrillic_General_CI_AS: 1251, Korean_Wansung_CI_AS: 949), with account names those servers'
// operators use. These record what the program does with such names today.
#include "tests/accounts/AccountsFixture.h"

#include <iostream>

namespace {

class CodePageServerTest : public AccountsTest {
protected:
    standin::ServerOptions ServerSetup() const override
    {
        standin::ServerOptions options;
        options.collation = Collation;
        return options;
    }
    void Observe(const QString& login)
    {
        ForgetSent();
        Dialogs.Shown.clear();
        Create(login, "abc");
        std::cout << "[" << Collation << "] create '" << login.toStdString() << "': status '" << StatusLine().toStdString()
                  << "'\n";
        for (const auto& d : Shown()) std::cout << "  shown: " << d << "\n";
        for (const auto& s : Sent()) std::cout << "  sent: " << s << "\n";
        for (const auto& r : Rows("SELECT account, DATALENGTH(account) FROM lin2db.dbo.user_auth")) std::cout << "  row: " << r << "\n";
    }
    std::string Collation;
};

class CyrillicServerTest : public CodePageServerTest {
protected:
    void SetUp() override
    {
        Collation = "Cyrillic_General_CI_AS";
        CodePageServerTest::SetUp();
    }
};

class KoreanServerTest : public CodePageServerTest {
protected:
    void SetUp() override
    {
        Collation = "Korean_Wansung_CI_AS";
        CodePageServerTest::SetUp();
    }
};

TEST_F(CyrillicServerTest, Observe)
{
    Observe(QString::fromUtf8("Иван"));
    Observe(QString::fromUtf8("ivan"));
}

TEST_F(KoreanServerTest, Observe)
{
    Observe(QString::fromUtf8("가나다라마바사"));
    Observe(QString::fromUtf8("가나다라마바사아"));
    Observe(QString::fromUtf8("kim"));
}

}  // namespace
