#include "tools/standin/tds/TdsLogin.h"

#include <string>

#include <gtest/gtest.h>

using namespace standin::tds;

namespace {

// A PRELOGIN as FreeTDS 1.3 sends it, with the given ENCRYPTION byte.
Bytes freetdsPreLogin(uint8_t encryption) {
    Bytes p = {0x00, 0x00, 0x1A, 0x00, 0x06, 0x01, 0x00, 0x20, 0x00, 0x01, 0x02,
               0x00, 0x21, 0x00, 0x0C, 0x03, 0x00, 0x2D, 0x00, 0x04, 0x04, 0x00,
               0x31, 0x00, 0x01, 0xFF, 0x09, 0x00, 0x00, 0x00, 0x00, 0x00, encryption};
    for (char c : std::string("MSSQLServer")) putU8(p, static_cast<uint8_t>(c));
    putU8(p, 0);
    putU32BE(p, 1234);
    putU8(p, 0);
    return p;
}

}  // namespace

TEST(TdsPreLogin, ReadsTheClientsEncryptionWish) {
    for (const uint8_t byte : {0, 1, 2, 3}) {
        const auto request = parsePreLogin(freetdsPreLogin(byte));
        EXPECT_EQ(static_cast<uint8_t>(request.encryption), byte);
        EXPECT_FALSE(request.mars);
    }
}

TEST(TdsPreLogin, RejectsOptionsPointingOutsideTheMessage) {
    Bytes p = freetdsPreLogin(0);
    p[7] = 0x7F;  // ENCRYPTION offset far beyond the end
    EXPECT_THROW(parsePreLogin(p), ProtocolError);
    EXPECT_THROW(parsePreLogin(Bytes{0x00, 0x00}), ProtocolError);  // table cut short
    EXPECT_THROW(parsePreLogin(Bytes(300, 0x00)), ProtocolError);   // no terminator
}

TEST(TdsPreLogin, ResponseCarriesTheEncryptionAnswerAndNoMars) {
    for (const auto answer : {Encryption::Off, Encryption::On, Encryption::NotSupported, Encryption::Required}) {
        const Bytes r = buildPreLoginResponse({16, 0, 3, 0xE8}, answer);
        const Bytes expected = {
            0x00, 0x00, 0x1A, 0x00, 0x06, 0x01, 0x00, 0x20, 0x00, 0x01, 0x02,
            0x00, 0x21, 0x00, 0x01, 0x03, 0x00, 0x22, 0x00, 0x00, 0x04, 0x00,
            0x22, 0x00, 0x01, 0xFF, 16,   0,    3,    0xE8, 0x00, 0x00, static_cast<uint8_t>(answer),
            0x00, 0x00};
        EXPECT_EQ(r, expected);
    }
}

TEST(TdsPreLogin, NegotiatesEncryptionAsTheProtocolTableSays) {
    struct Case {
        EncryptionMode server;
        Encryption client;
        std::optional<Encryption> answer;  // nullopt: disconnected unanswered
        EncryptionUse use;
    };
    using E = Encryption;
    using M = EncryptionMode;
    using U = EncryptionUse;
    const Case cases[] = {
        {M::On, E::Off, E::Off, U::LoginOnly},
        {M::On, E::On, E::On, U::Full},
        {M::On, E::Required, E::On, U::Full},
        {M::On, E::NotSupported, E::NotSupported, U::None},
        {M::Required, E::Off, E::Required, U::Full},
        {M::Required, E::On, E::On, U::Full},
        {M::Required, E::Required, E::On, U::Full},
        {M::Required, E::NotSupported, std::nullopt, U::None},
        {M::Off, E::Off, E::NotSupported, U::None},
        {M::Off, E::On, E::NotSupported, U::None},
        {M::Off, E::Required, E::NotSupported, U::None},
        {M::Off, E::NotSupported, E::NotSupported, U::None},
    };
    for (const auto& c : cases) {
        const auto d = negotiateEncryption(c.server, c.client);
        SCOPED_TRACE(std::string(encryptionModeName(c.server)) + " / client " +
                     std::to_string(static_cast<int>(c.client)));
        EXPECT_EQ(d.answer, c.answer);
        EXPECT_EQ(d.use, c.use);
    }
}

TEST(TdsPreLogin, EncryptionModesByName) {
    for (const auto mode : {EncryptionMode::Off, EncryptionMode::On, EncryptionMode::Required})
        EXPECT_EQ(parseEncryptionMode(encryptionModeName(mode)), mode);
    EXPECT_EQ(parseEncryptionMode("strict"), std::nullopt);
    EXPECT_EQ(parseEncryptionMode("ON"), std::nullopt);
}

TEST(TdsLogin7, PasswordScrambleMatchesTheProtocol) {
    // 'a' = 0x0061: nibbles swapped 0x16 ^ 0xA5 = 0xB3; high byte 0x00 ^ 0xA5.
    EXPECT_EQ(scramblePassword(u"a"), (Bytes{0xB3, 0xA5}));
    EXPECT_EQ(unscramblePassword(Bytes{0xB3, 0xA5}), u"a");
    const std::u16string password = u"p\u00E4ss\u20AC\U0001F600";
    EXPECT_EQ(unscramblePassword(scramblePassword(password)), password);
}

TEST(TdsLogin7, ParsesWhatAClientSends) {
    Login7 in;
    in.tdsVersion = kTds74;
    in.packetSize = 8192;
    in.clientProcessId = 4711;
    in.hostName = "workstation";
    in.userName = "sa";
    in.password = "st\xC3\xA4ndin";
    in.appName = "vac";
    in.serverName = "127.0.0.1";
    in.language = "us_english";
    in.database = "lin2db";
    const Login7 out = parseLogin7(buildLogin7(in));
    EXPECT_EQ(out.tdsVersion, kTds74);
    EXPECT_EQ(out.packetSize, 8192u);
    EXPECT_EQ(out.clientProcessId, 4711u);
    EXPECT_EQ(out.hostName, "workstation");
    EXPECT_EQ(out.userName, "sa");
    EXPECT_EQ(out.password, "st\xC3\xA4ndin");
    EXPECT_EQ(out.appName, "vac");
    EXPECT_EQ(out.serverName, "127.0.0.1");
    EXPECT_EQ(out.language, "us_english");
    EXPECT_EQ(out.database, "lin2db");
    EXPECT_FALSE(out.integratedSecurity);
}

TEST(TdsLogin7, RejectsFieldsOutsideTheMessage) {
    Login7 in;
    in.tdsVersion = kTds74;
    in.userName = "sa";
    in.database = "master";
    const Bytes good = buildLogin7(in);

    Bytes userBeyondEnd = good;
    userBeyondEnd[42] = 0xFF;  // user name length in characters
    Bytes lengthTooLong = good;
    lengthTooLong[0] = static_cast<uint8_t>(good.size() + 1);
    Bytes databaseOffsetBeyond = good;
    databaseOffsetBeyond[68] = 0xFF;
    databaseOffsetBeyond[69] = 0xFF;
    Bytes sspiBeyond = good;
    sspiBeyond[80] = 0x40;  // 64 bytes of SSPI data that are not there

    for (const Bytes& bad :
         {userBeyondEnd, lengthTooLong, databaseOffsetBeyond, sspiBeyond, Bytes(good.begin(), good.begin() + 50)})
        EXPECT_THROW(parseLogin7(bad), ProtocolError);
}

TEST(TdsLogin7, IntegratedSecurityIsRecognised) {
    Login7 in;
    in.tdsVersion = kTds74;
    in.integratedSecurity = true;
    EXPECT_TRUE(parseLogin7(buildLogin7(in)).integratedSecurity);
}
