#pragma once
// The generic data-access errors. Provider and server errors (EOLEDBError, EMSError) derive from these.
#include "common/Exception.h"

#include <cstdint>

// Misuse of a data-access component, reported with a fixed message.
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

class EDAError : public EDatabaseError {
public:
    EDAError(int32_t errorCode, std::string message) : EDatabaseError(std::move(message)), ErrorCode(errorCode) {}

    int32_t ErrorCode = 0;
};

// A login setting that the driver could not be given as it is: passing it would change what it says
// (for example end the password early and add connection keys of its own).
enum class TConnectSetting { Server, Username, Password };

class EConnectSettingError : public EDatabaseError {
public:
    EConnectSettingError(TConnectSetting setting, std::string characters, std::string message)
        : EDatabaseError(std::move(message)), Setting(setting), Characters(std::move(characters)) {}

    TConnectSetting Setting;
    std::string Characters;
};

// A silent abort: the operation stops and nobody is shown a message (the error policy's choice).
class EAbort : public Exception {
public:
    EAbort() : Exception("Operation aborted") {}
    using Exception::Exception;
};
