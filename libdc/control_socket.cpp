#include "control_socket.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace dcsim {

namespace {

bool sendAll(int fd, const std::string &text)
{
    std::size_t sent = 0;
    while (sent < text.size()) {
        // Replies are short; a client that stops reading is dropped rather than waited for.
        const ssize_t n =
            ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void ControlSocket::complain(const std::string &why) const
{
    // Only reached when a developer asked for the socket, so say why there is none.
    std::fprintf(stderr, "libdc: no control socket at %s: %s\n", path_.c_str(), why.c_str());
}

ControlSocket::ControlSocket(std::string path, Handler handler)
    : path_(std::move(path))
    , handler_(std::move(handler))
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path_.empty() || path_.size() >= sizeof address.sun_path) {
        complain("the path is empty or longer than " + std::to_string(sizeof address.sun_path - 1) +
                 " bytes");
        return;
    }
    std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
    const auto *socketAddress = reinterpret_cast<const sockaddr *>(&address);

    struct stat info;
    if (::lstat(path_.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode)) {
            complain("the path exists and is not a socket");
            return;
        }
        // Only a socket nobody listens on any more is replaced.
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const bool alive = probe >= 0 && ::connect(probe, socketAddress, sizeof address) == 0;
        if (probe >= 0)
            ::close(probe);
        if (alive) {
            complain("something already listens there");
            return;
        }
        ::unlink(path_.c_str());
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::bind(fd, socketAddress, sizeof address) != 0 || ::listen(fd, 4) != 0 ||
        ::pipe2(wakeFds_, O_CLOEXEC) != 0) {
        complain(std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return;
    }
    listenFd_ = fd;
    thread_ = std::thread([this] { run(); });
}

ControlSocket::~ControlSocket()
{
    if (thread_.joinable()) {
        const char stop = 1;
        while (::write(wakeFds_[1], &stop, 1) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    for (const auto &[fd, client] : clients_)
        ::close(fd);
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        ::unlink(path_.c_str());
    }
    for (int fd : wakeFds_) {
        if (fd >= 0)
            ::close(fd);
    }
}

void ControlSocket::run()
{
    std::vector<pollfd> fds;
    for (;;) {
        fds.clear();
        fds.push_back({wakeFds_[0], POLLIN, 0});
        fds.push_back({listenFd_, POLLIN, 0});
        for (const auto &[fd, client] : clients_)
            fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[0].revents)
            return;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                if (clients_.size() < MaxClients)
                    clients_.emplace(client, Client{});
                else
                    ::close(client);
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i) {
            if (!fds[i].revents)
                continue;
            const auto it = clients_.find(fds[i].fd);
            if (it != clients_.end() && !serve(it->first, it->second)) {
                ::close(it->first);
                clients_.erase(it);
            }
        }
    }
}

bool ControlSocket::serve(int fd, Client &client)
{
    char buffer[512];
    ssize_t n;
    do {
        n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    } while (n < 0 && errno == EINTR);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK;
    if (n == 0)
        return false;

    for (ssize_t i = 0; i < n; ++i) {
        const char c = buffer[i];
        if (c != '\n') {
            if (client.discarding)
                continue;
            if (client.pending.size() >= MaxLine) {
                client.pending.clear();
                client.discarding = true;
                continue;
            }
            client.pending += c;
            continue;
        }
        std::string reply;
        if (client.discarding) {
            reply = "error line too long";
            client.discarding = false;
        } else {
            std::string_view line = client.pending;
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            reply = handler_(line);
        }
        client.pending.clear();
        if (!sendAll(fd, reply + '\n'))
            return false;
    }
    return true;
}

} // namespace dcsim
