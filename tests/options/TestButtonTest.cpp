// "Test" on the "Options" page against the SQL Server stand-in: it closes the connection, opens a new
// one with the page's current fields and says whether that worked, never why not.
#include "data/OLEDBAccess.h"
#include "tests/options/OptionsWindow.h"
#include "tools/standin/tds/StandinServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

namespace {

// A loopback port nobody listens on.
uint16_t ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

class TestButtonTest : public OptionsWindowTest {
protected:
    void SetUp() override {
        standin::ServerOptions options;
        options.logins = {{"sa", "standin"}, {"gm", "pw"}};
        Server = std::make_unique<standin::Server>(options);
        Server->start();
        Start();
    }

    QString Host() const { return QString("127.0.0.1,%1").arg(Server->port()); }

    // The SQL login of the open connection, as the server sees it.
    std::string ConnectedLogin() const {
        const auto logins = Form->MSConnection1.OLEDBConnection()->ReadStrings("SELECT SUSER_SNAME()");
        return logins.size() == 1 ? logins.front() : "?";
    }

    std::unique_ptr<standin::Server> Server;
};

TEST_F(TestButtonTest, SuccessOrFailureIsAllTheOperatorIsTold) {
    struct Case {
        const char* What;
        QString Host;
        QString Login;
        QString Password;
        const char* Shown;
    };
    const Case cases[] = {
        {"right login", Host(), "sa", "standin", "Connection successful."},
        {"wrong password", Host(), "sa", "wrong", "Connection failed."},
        {"unknown login", Host(), "nobody", "standin", "Connection failed."},
        {"empty login", Host(), "", "", "Connection failed."},
        {"closed port", QString("127.0.0.1,%1").arg(ClosedPort()), "sa", "standin", "Connection failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        FillOptions(c.Host, c.Login, c.Password);
        PressTest();
        EXPECT_EQ(TakeShown(), std::vector{Message(c.Shown)});
        const bool succeeded = std::string(c.Shown) == "Connection successful.";
        EXPECT_EQ(Form->MSConnection1.Connected(), succeeded);
        if (succeeded) {
            EXPECT_EQ(ConnectedLogin(), "sa");
        }
        // The page's fields went over unchanged.
        EXPECT_EQ(Form->MSConnection1.Server(), c.Host.toStdString());
        EXPECT_EQ(Form->MSConnection1.Username(), c.Login.toStdString());
        EXPECT_EQ(Form->MSConnection1.Password(), c.Password.toStdString());
    }
}

TEST_F(TestButtonTest, PressingTestWhileConnectedReconnectsWithTheCurrentFields) {
    FillOptions(Host(), "sa", "standin");
    PressTest();
    ASSERT_EQ(TakeShown(), std::vector{Message("Connection successful.")});
    ASSERT_EQ(ConnectedLogin(), "sa");

    // Another login on the page: the open connection is not kept, a new one is made with it.
    Type(Form->DBLoginEdit, "gm");
    Type(Form->DBPassEdit, "pw");
    PressTest();
    EXPECT_EQ(TakeShown(), std::vector{Message("Connection successful.")});
    EXPECT_EQ(ConnectedLogin(), "gm");

    // A wrong password now fails even though a connection was open, and leaves it closed.
    Type(Form->DBPassEdit, "not-pw");
    PressTest();
    EXPECT_EQ(TakeShown(), std::vector{Message("Connection failed.")});
    EXPECT_FALSE(Form->MSConnection1.Connected());

    // And the next press with the right fields connects again.
    Type(Form->DBPassEdit, "pw");
    PressTest();
    EXPECT_EQ(TakeShown(), std::vector{Message("Connection successful.")});
    EXPECT_EQ(ConnectedLogin(), "gm");
}

TEST_F(TestButtonTest, ServerGoneAfterASuccessfulTestGivesConnectionFailed) {
    FillOptions(Host(), "sa", "standin");
    PressTest();
    ASSERT_EQ(TakeShown(), std::vector{Message("Connection successful.")});
    Server->stop();
    PressTest();
    EXPECT_EQ(TakeShown(), std::vector{Message("Connection failed.")})
        << "no error box: the failure is the handler's own message";
    EXPECT_FALSE(Form->MSConnection1.Connected());
}

// No text of a field reaches another connection setting. A second server listens where a field tries
// to send the driver (and would let it in); a value the driver cannot be given is refused, naming the
// field and the characters, as a failed connection; every other value reaches the server named in
// "Database  Host" exactly as typed.
TEST_F(TestButtonTest, NoFieldCanSendTheDriverElsewhere) {
    standin::Server other;
    other.start();
    const QString elsewhere = QString("PORT=%1").arg(other.port());
    const std::string refusal = ", which the ODBC driver in use cannot be given.";
    struct Case {
        const char* What;
        QString Host;
        QString Login;
        QString Password;
        std::string Shown;
    };
    const Case cases[] = {
        {"password closing its braces", Host(), "sa", "standin};" + elsewhere + ";X={",
         "Connection failed.\n\"Password\" holds };" + refusal},
        {"login closing its braces", Host(), "sa};" + elsewhere + ";X={", "standin",
         "Connection failed.\n\"Login\" holds };" + refusal},
        {"host closing its braces", "127.0.0.1};" + elsewhere + ";X={", "sa", "standin",
         "Connection failed.\n\"Database  Host\" holds };" + refusal},
        {"password with a key after a semicolon", Host(), "sa", "standin;" + elsewhere, "Connection failed."},
        {"login with a key after a semicolon", Host(), "sa;" + elsewhere, "standin", "Connection failed."},
        {"host with a key after a semicolon", "127.0.0.1;" + elsewhere, "sa", "standin", "Connection failed."},
        {"password closing a brace before a semicolon", Host(), "sa", "standin} ;" + elsewhere, "Connection failed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.What);
        FillOptions(c.Host, c.Login, c.Password);
        PressTest();
        EXPECT_EQ(TakeShown(), std::vector{Message(c.Shown)});
        EXPECT_FALSE(Form->MSConnection1.Connected());
    }

    // Braces, semicolons and edge blanks in a value the driver can be given arrive as typed.
    standin::ServerOptions odd;
    odd.logins = {{"o;d}d", " p}w;{x} "}};
    standin::Server oddServer(odd);
    oddServer.start();
    FillOptions(QString("127.0.0.1,%1").arg(oddServer.port()), "o;d}d", " p}w;{x} ");
    PressTest();
    EXPECT_EQ(TakeShown(), std::vector{Message("Connection successful.")});
    EXPECT_EQ(ConnectedLogin(), "o;d}d");
}

}  // namespace
