// "Create" against a server in each way SQL Server settles encryption: the program's own connect step
// logs in and works on a server that encrypts the login only, one that forces encryption and one
// without a certificate.
#include "tests/accounts/AccountsFixture.h"

namespace {

struct ServerMode {
    const char* name;
    standin::tds::EncryptionMode mode;
    const char* logged;  // how much of each connection ran over TLS
};

void PrintTo(const ServerMode& m, std::ostream* out) { *out << m.name; }

class EncryptedServerTest : public AccountsTest, public ::testing::WithParamInterface<ServerMode> {
protected:
    standin::ServerOptions ServerSetup() const override {
        standin::ServerOptions options;
        options.encryption = GetParam().mode;
        return options;
    }
};

TEST_P(EncryptedServerTest, CreateConnectsAndWritesTheAccount) {
    Create("alpha", "abc", 2);

    EXPECT_EQ(StatusLine(), "Account created");
    EXPECT_TRUE(Shown().empty());
    EXPECT_EQ(Rows("SELECT default_builder FROM lin2world.dbo.builder_account WHERE account_name = 'alpha'"),
              std::vector<std::string>{"2"});
    const auto logins = server->connectionEncryption();
    ASSERT_FALSE(logins.empty());
    for (const auto& l : logins) EXPECT_EQ(l.encryption, GetParam().logged) << "connection " << l.connection;
}

INSTANTIATE_TEST_SUITE_P(Modes, EncryptedServerTest,
                         ::testing::Values(ServerMode{"login_only", standin::tds::EncryptionMode::On, "login"},
                                           ServerMode{"forced", standin::tds::EncryptionMode::Required, "full"},
                                           ServerMode{"no_certificate", standin::tds::EncryptionMode::Off, "none"}),
                         [](const ::testing::TestParamInfo<ServerMode>& info) { return std::string(info.param.name); });

}  // namespace
