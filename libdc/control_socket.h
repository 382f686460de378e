#pragma once

// A Unix stream socket that lets a test or a developer drive the simulated devices of a
// running program: one command per line in, one reply line out. It is served by a thread of
// its own, which handles several clients at once.

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <thread>

namespace dcsim {

class ControlSocket
{
public:
    using Handler = std::function<std::string(std::string_view line)>;

    // Listens at `path`, replacing a socket file left there that nobody listens on. A path
    // that is too long, is not a socket, or is in use leaves it not listening (with a line on
    // stderr saying why).
    ControlSocket(std::string path, Handler handler);
    ~ControlSocket(); // stops the thread, closes every connection and removes the socket file
    ControlSocket(const ControlSocket &) = delete;
    ControlSocket &operator=(const ControlSocket &) = delete;

    bool listening() const { return listenFd_ >= 0; }

    static constexpr std::size_t MaxLine = 256;
    static constexpr std::size_t MaxClients = 8;

private:
    struct Client
    {
        std::string pending;
        bool discarding = false; // inside a line that was too long
    };

    void complain(const std::string &why) const;
    void run();
    bool serve(int fd, Client &client); // false when the connection is to be closed

    std::string path_;
    Handler handler_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::map<int, Client> clients_;
    std::thread thread_;
};

} // namespace dcsim
