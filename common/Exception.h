#pragma once
// Root of every error the program raises on purpose: a message for the operator, in the program's
// byte-string encoding (the system code page), shown as is by the default error box.
#include <exception>
#include <string>
#include <utility>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};
