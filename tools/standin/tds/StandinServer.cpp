#include "tools/standin/tds/StandinServer.h"

#include "tools/standin/tds/FaultControl.h"
#include "tools/standin/tds/TdsChannel.h"
#include "tools/standin/tds/TdsConnection.h"
#include "tools/standin/tds/TlsCertificate.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {
namespace {

std::string systemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// A listening socket on the given address; port 0 lets the system choose.
int openListener(const std::string& address, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(address.c_str(), service.c_str(), &hints, &found); rc != 0)
        throw std::runtime_error("cannot listen on '" + address + "': " + ::gai_strerror(rc));
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> guard(found, &::freeaddrinfo);
    const int fd = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (fd < 0) throw std::runtime_error(systemError("cannot create a socket"));
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
        const std::string message = systemError("cannot listen on " + address + " port " + service);
        ::close(fd);
        throw std::runtime_error(message);
    }
    return fd;
}

uint16_t boundPort(int fd) {
    sockaddr_storage addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
        throw std::runtime_error(systemError("getsockname"));
    if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
}

}  // namespace

struct Server::Impl {
    struct Connection {
        std::unique_ptr<tds::SocketChannel> channel;
        std::thread thread;
        std::atomic<bool> finished{false};
    };

    explicit Impl(ServerOptions o) : options(std::move(o)), credentials(options.logins) {}

    Engine& ensureEngine() {
        std::lock_guard lock(engineMutex);
        if (!engine) {
            engine =
                std::make_unique<Engine>(EngineOptions{options.dataFile, options.collation, options.schemaScripts});
            if (options.demoAccounts > 0) engine->seedDemo(options.demoAccounts);
        }
        return *engine;
    }

    void acceptLoop() {
        for (;;) {
            pollfd fds[2] = {{listenFd, POLLIN, 0}, {wakeFds[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (fds[1].revents) return;
            if (!(fds[0].revents & POLLIN)) continue;
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) continue;  // the client gave up already, or descriptors ran out for a moment
            startConnection(fd);
        }
    }

    void startConnection(int fd) {
        auto connection = std::make_unique<Connection>();
        connection->channel = std::make_unique<tds::SocketChannel>(fd);
        Connection* c = connection.get();
        const int id = ++connectionCount;
        const auto spid = static_cast<uint16_t>(50 + id % 30000);
        std::lock_guard lock(connectionsMutex);
        reapFinished();
        connections.push_back(std::move(connection));
        c->thread = std::thread([this, c, id, spid] {
            ConnectionEnvironment env{
                *engine, faults, *log, credentials, stats, options.serverName, options.encryption, certificate.get()};
            TdsConnection(*c->channel, env, id, spid).run();
            // The client sees the close now; the descriptor goes when the thread is reaped.
            c->channel->shutdown();
            c->finished = true;
        });
    }

    // Joins the threads of connections that ended; caller holds connectionsMutex.
    void reapFinished() {
        for (auto it = connections.begin(); it != connections.end();) {
            if ((*it)->finished) {
                (*it)->thread.join();
                it = connections.erase(it);
            } else {
                ++it;
            }
        }
    }

    ServerOptions options;
    Credentials credentials;
    std::mutex engineMutex;
    std::unique_ptr<Engine> engine;
    FaultControl faults;
    std::unique_ptr<StatementLog> log = std::make_unique<StatementLog>();
    bool logOpened = false;
    ServerStats stats;
    std::unique_ptr<tls::TlsCertificate> certificate;

    int listenFd = -1;
    int wakeFds[2] = {-1, -1};
    uint16_t port = 0;
    std::thread acceptor;
    bool running = false;
    std::atomic<int> connectionCount{0};
    mutable std::mutex connectionsMutex;
    std::list<std::unique_ptr<Connection>> connections;
};

Server::Server(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}

Server::~Server() { stop(); }

void Server::start() {
    if (impl_->running) return;
    impl_->ensureEngine();
    if (impl_->options.logFile && !impl_->logOpened) {
        impl_->log = std::make_unique<StatementLog>(impl_->options.logFile);
        impl_->logOpened = true;
    }
    if (impl_->options.encryption != tds::EncryptionMode::Off && !impl_->certificate) {
        const auto& o = impl_->options;
        if (o.certificateFile.has_value() != o.keyFile.has_value())
            throw std::runtime_error("a certificate needs its key, and a key its certificate");
        impl_->certificate = std::make_unique<tls::TlsCertificate>(
            o.certificateFile ? tls::TlsCertificate::fromFiles(*o.certificateFile, *o.keyFile)
                              : tls::TlsCertificate::selfSigned(o.serverName));
    }
    impl_->listenFd = openListener(impl_->options.listenAddress, impl_->options.port);
    impl_->port = boundPort(impl_->listenFd);
    if (::pipe2(impl_->wakeFds, O_CLOEXEC) != 0) {
        ::close(impl_->listenFd);
        throw std::runtime_error(systemError("pipe"));
    }
    impl_->running = true;
    impl_->acceptor = std::thread([this] { impl_->acceptLoop(); });
}

void Server::stop() {
    if (!impl_->running) return;
    const char wake = 1;
    [[maybe_unused]] const ssize_t n = ::write(impl_->wakeFds[1], &wake, 1);
    impl_->acceptor.join();
    ::close(impl_->listenFd);
    ::close(impl_->wakeFds[0]);
    ::close(impl_->wakeFds[1]);
    impl_->listenFd = -1;
    std::list<std::unique_ptr<Impl::Connection>> connections;
    {
        std::lock_guard lock(impl_->connectionsMutex);
        connections.swap(impl_->connections);
        for (auto& c : connections) c->channel->shutdown();
    }
    // Each thread ends its session (rolling back an open transaction) before it finishes.
    for (auto& c : connections) c->thread.join();
    impl_->running = false;
}

uint16_t Server::port() const { return impl_->port; }

void Server::dropNextBatch() { impl_->faults.dropNextBatch(); }
void Server::setDelay(std::chrono::milliseconds delay) { impl_->faults.setDelay(delay); }
void Server::failNextBatch(std::vector<Message> errors) { impl_->faults.failNextBatch(std::move(errors)); }
void Server::refuseLogins(int count) { impl_->faults.refuseLogins(count); }
void Server::clearFaults() { impl_->faults.clear(); }

std::vector<LoggedBatch> Server::statements() const { return impl_->log->entries(); }
std::vector<LoggedConnection> Server::connectionEncryption() const { return impl_->log->connections(); }
void Server::clearStatements() { impl_->log->clear(); }
Engine& Server::engine() { return impl_->ensureEngine(); }

ServerLoad Server::load() const {
    return {std::chrono::nanoseconds(impl_->stats.cpuNanoseconds.load()), impl_->stats.rowsSent.load()};
}

int Server::openConnections() const {
    std::lock_guard lock(impl_->connectionsMutex);
    int open = 0;
    for (const auto& c : impl_->connections)
        if (!c->finished) ++open;
    return open;
}

}  // namespace standin
