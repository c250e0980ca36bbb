#pragma once
// The byte stream one client connection runs over. Sockets in the server; an in-memory script in
// the fuzz target, so the whole conversation can be driven without a network.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace standin::tds {

// The peer closed the connection (or it broke) in the middle of something.
class ConnectionClosed : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ByteChannel {
public:
    virtual ~ByteChannel() = default;
    // Blocks until at least one byte is there; returns 0 at the end of the stream.
    virtual size_t read(uint8_t* data, size_t size) = 0;
    // Writes everything or throws (the peer went away).
    virtual void write(const uint8_t* data, size_t size) = 0;
    // Waits up to timeout for input (or the end of the stream); zero only looks.
    virtual bool waitForInput(std::chrono::milliseconds timeout) = 0;
};

// A connected TCP socket, owned. Sending gives up after kSendTimeoutSeconds without progress. shutdown() may be called from another thread to end a blocked read.
class SocketChannel : public ByteChannel {
public:
    static constexpr long kSendTimeoutSeconds = 60;

    explicit SocketChannel(int fd);
    ~SocketChannel() override;
    SocketChannel(const SocketChannel&) = delete;
    SocketChannel& operator=(const SocketChannel&) = delete;

    size_t read(uint8_t* data, size_t size) override;
    void write(const uint8_t* data, size_t size) override;
    bool waitForInput(std::chrono::milliseconds timeout) override;
    void shutdown();

private:
    int fd_;
};

// Reads from a fixed script of client bytes and keeps what the server writes (up to a limit).
class ScriptChannel : public ByteChannel {
public:
    explicit ScriptChannel(std::vector<uint8_t> input, size_t keepOutput = 1 << 20)
        : input_(std::move(input)), keepOutput_(keepOutput) {}
    size_t read(uint8_t* data, size_t size) override;
    void write(const uint8_t* data, size_t size) override;
    bool waitForInput(std::chrono::milliseconds timeout) override;
    const std::vector<uint8_t>& output() const { return output_; }

private:
    std::vector<uint8_t> input_;
    size_t pos_ = 0;
    size_t keepOutput_;
    std::vector<uint8_t> output_;
};

}  // namespace standin::tds
