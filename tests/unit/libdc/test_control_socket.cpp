// The control socket a running program's simulated devices are driven through.

#include "libdc_fixture.h"

#include <cstdio>
#include <fstream>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace libdctest {
namespace {

using Bytes = std::vector<uint8_t>;

class Connection
{
public:
    explicit Connection(const std::string &path)
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~Connection() { ::close(fd_); }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    bool connected() const { return connected_; }

    void send(const std::string &text)
    {
        ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size()));
    }

    // The next reply line, without its newline; empty after 10 s without one.
    std::string reply()
    {
        for (;;) {
            const std::size_t newline = buffer_.find('\n');
            if (newline != std::string::npos) {
                const std::string line = buffer_.substr(0, newline);
                buffer_.erase(0, newline + 1);
                return line;
            }
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 10000) <= 0)
                return {};
            char chunk[256];
            const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
            if (n <= 0)
                return {};
            buffer_.append(chunk, std::size_t(n));
        }
    }

    std::string command(const std::string &line)
    {
        send(line + "\n");
        return reply();
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};

bool isSocket(const std::string &path)
{
    struct stat info;
    return ::lstat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

// A socket bound at `path`; listening when asked to. Returns its descriptor.
int bindSocket(const std::string &path, bool listening)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        (listening && ::listen(fd, 1) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class ControlSocketTest : public LibdcTest
{
protected:
    void SetUp() override
    {
        LibdcTest::SetUp();
        unload();
        socketPath = dir + "/control.sock";
        // A socket file left behind by an earlier run is replaced.
        const int stale = bindSocket(socketPath, false);
        ASSERT_GE(stale, 0);
        ::close(stale);
        ASSERT_TRUE(isSocket(socketPath));

        setenv("VORN_SIM_CONTROL", socketPath.c_str(), 1);
        load();
        unsetenv("VORN_SIM_CONTROL");
        registerEvents();
    }

    std::string socketPath;
};

TEST_F(ControlSocketTest, PlugAndUnplugAnswerOnceTheProgramWasTold)
{
    Connection control(socketPath);
    ASSERT_TRUE(control.connected());
    EXPECT_EQ(control.command("unplug 1"), "ok");
    // No flush: the reply comes after the burst was delivered.
    EXPECT_EQ(CallbackLog::events(), burst(MouseRecord | Removal));
    EXPECT_NE(dc.dcDeviceExist(Mouse), 0);

    EXPECT_EQ(control.command("plug 1"), "ok");
    EXPECT_EQ(CallbackLog::events(),
              concat(burst(MouseRecord | Removal), burst(MouseRecord | Arrival)));
    EXPECT_EQ(dc.dcDeviceExist(Mouse), 0);
}

TEST_F(ControlSocketTest, ReportsGoToTheRegisteredDevice)
{
    Connection control(socketPath);
    ASSERT_TRUE(control.connected());
    EXPECT_EQ(control.command("report 0102030405060708").rfind("error ", 0), 0u);

    const DcDataCallback callback = &CallbackLog::onReport;
    ASSERT_EQ(dc.dconDeviceData(Keyboard, KeyboardPath, Code, &callback), 0);
    EXPECT_EQ(control.command("report 0302aBcDeF000001"), "ok");
    const std::vector<Delivery> got = CallbackLog::all();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Bytes(got[0].bytes.begin(), got[0].bytes.end()),
              (Bytes{0x03, 0x02, 0xAB, 0xCD, 0xEF, 0x00, 0x00, 0x01}));
}

TEST_F(ControlSocketTest, StateAndBootLoaderDelay)
{
    Connection control(socketPath);
    ASSERT_TRUE(control.connected());
    EXPECT_EQ(control.command("bootloader-delay 20"), "ok");
    EXPECT_EQ(control.command("unplug 0"), "ok");
    EXPECT_EQ(control.command("state"), "ok keyboard=unplugged,normal,1.0.0 "
                                        "mouse=plugged,normal,1.0.0 data=none "
                                        "bootloader-delay=20 state-file=ok");

    // The delay set through the socket is the one the restart takes.
    uint8_t result = 0;
    ASSERT_EQ(dc.dcReset(Mouse, Empty, Code, 0x0001, &result, 0), 0);
    CallbackLog::waitFor(15);
    EXPECT_EQ(dc.dcDeviceExist(dc::BootLoaderPath), 0);
    EXPECT_EQ(control.command("state"), "ok keyboard=unplugged,normal,1.0.0 "
                                        "mouse=plugged,bootloader,1.0.0 data=none "
                                        "bootloader-delay=20 state-file=ok");
}

TEST_F(ControlSocketTest, BadInputIsAnsweredWithAnErrorAndTheConnectionGoesOn)
{
    Connection control(socketPath);
    ASSERT_TRUE(control.connected());
    const char *bad[] = {
        "",
        "jump",
        "plug",
        "plug 2",
        "plug -1",
        "plug x",
        "plug 1 1",
        "unplug 01x",
        "report 12",
        "report 010203040506070g",
        "report",
        "state 1",
        "bootloader-delay -5",
        "bootloader-delay 600001",
        "PLUG 1",
        "plug 99999999999999999999",
    };
    for (const char *line : bad) {
        SCOPED_TRACE(line);
        EXPECT_EQ(control.command(line).rfind("error ", 0), 0u);
    }
    EXPECT_EQ(control.command(std::string(300, 'x')), "error line too long");
    EXPECT_EQ(control.command("  plug\t1  \r"), "ok"); // spacing and CRLF are fine
    EXPECT_EQ(deviceCount(), 2);
    EXPECT_TRUE(CallbackLog::events().empty());

    // Several commands in one write, answered in order.
    control.send("unplug 0\nstate\nplug 0\n");
    EXPECT_EQ(control.reply(), "ok");
    EXPECT_EQ(control.reply().rfind("ok keyboard=unplugged", 0), 0u);
    EXPECT_EQ(control.reply(), "ok");

    // A second client is served while the first stays connected.
    Connection other(socketPath);
    ASSERT_TRUE(other.connected());
    EXPECT_EQ(other.command("state").rfind("ok keyboard=plugged", 0), 0u);
}

TEST_F(ControlSocketTest, UnloadingClosesTheSocketAndRemovesItsFile)
{
    Connection control(socketPath);
    ASSERT_TRUE(control.connected());
    EXPECT_EQ(control.command("state").rfind("ok ", 0), 0u);
    unload(); // with a client still connected
    EXPECT_FALSE(isSocket(socketPath));
    EXPECT_EQ(control.reply(), ""); // the connection was closed
    load();
    EXPECT_FALSE(isSocket(socketPath)); // loaded without VORN_SIM_CONTROL
}

TEST_F(LibdcTest, TheControlSocketNeverTakesOverAPathInUse)
{
    unload();
    const std::string busy = dir + "/busy.sock";
    const int listener = bindSocket(busy, true);
    ASSERT_GE(listener, 0);
    const std::string file = dir + "/plain-file";
    {
        std::ofstream(file) << "keep";
    }
    const std::string tooLong = dir + "/" + std::string(120, 'x');

    for (const std::string &path : {busy, file, tooLong}) {
        SCOPED_TRACE(path);
        setenv("VORN_SIM_CONTROL", path.c_str(), 1);
        load();
        unsetenv("VORN_SIM_CONTROL");
        EXPECT_EQ(dc.dcDeviceExist(Keyboard), 0); // the library works without its socket
        unload();
    }

    // The other listener still owns its socket, and the file is untouched.
    ASSERT_TRUE(isSocket(busy));
    Connection client(busy);
    EXPECT_TRUE(client.connected());
    pollfd p{listener, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 10000), 1);
    ::close(listener);
    std::string contents;
    std::ifstream(file) >> contents;
    EXPECT_EQ(contents, "keep");
}

} // namespace
} // namespace libdctest
