#pragma once
// Turns the initialisation properties into an ODBC connection string for the chosen driver. Pure
// functions, so the mapping is tested without a driver.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace provider {

enum class DriverFamily { FreeTDS, MicrosoftOdbc };

// A server name as SQL Server users write it: "host", "host,port", "host\instance", "(local)", ".",
// optionally prefixed by "tcp:".
struct ServerAddress {
    std::string host;
    std::optional<uint16_t> port;
    std::string instance;
};

// Empty, "(local)" and "." mean this machine. Returns nullopt for a form no driver can reach
// (an empty host after the prefix, or a port that is not a number in 1..65535).
std::optional<ServerAddress> ParseServerName(std::string_view server);

struct ConnectSettings {
    std::string driver;  // odbcinst.ini name or library path
    DriverFamily family = DriverFamily::FreeTDS;
    ServerAddress address;
    std::string database;
    bool integrated = false;
    std::optional<std::string> userId;
    std::optional<std::string> password;
    std::string applicationName;
    std::string workstationId;
    std::string language;
    bool encrypt = false;
    bool autoTranslate = true;
    std::string networkLibrary;
    int32_t packetSize = 4096;
};

// The characters of value that the driver family's connection strings cannot carry, as the operator
// should read them (for example "};"); empty when every character can be passed. FreeTDS 1.3 ends a
// braced value at the first "};" and knows no escape for it; no driver takes a NUL.
std::string UnsayableCharacters(DriverFamily family, std::string_view value);

// "KEY=value;" pairs, always ending in ";" (FreeTDS 1.3 needs it). Values with ";", braces or edge
// blanks are braced.
std::string BuildConnectString(const ConnectSettings& settings);

// Appends one "key=value;" pair with the quoting above; doubleBraces doubles a "}" inside braces
// (Microsoft's drivers; FreeTDS 1.3 does not understand it).
void AppendConnectPair(std::string& out, std::string_view key, std::string_view value, bool doubleBraces);

// "[my db]" -> "my db", "\"a\"\"b\"" -> "a\"b", part by part around dots: ODBC takes the plain catalog
// name and the drivers quote it themselves when they send USE.
std::string UnquoteIdentifier(std::string_view name);

}  // namespace provider
