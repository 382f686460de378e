#include "state_file.h"

#include "crc32.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace dcsim {

namespace {

constexpr char Magic[8] = {'V', 'S', 'I', 'M', 'S', 'T', 'A', 'T'};
constexpr std::size_t HeaderSize = 16;
constexpr std::size_t VersionSize = sizeof(Identity::version);
constexpr std::size_t DeviceBlockSize = VersionSize + PropertyStoreSize + MemorySize;
constexpr std::size_t FileSize = HeaderSize + DeviceCount * DeviceBlockSize + 4;

void putU32(std::vector<uint8_t> &out, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t getU32(const uint8_t *in)
{
    return in[0] | (in[1] << 8) | (in[2] << 16) | (static_cast<uint32_t>(in[3]) << 24);
}

bool readWholeFile(const std::string &path, std::vector<uint8_t> &data)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    data.assign(FileSize + 1, 0); // one extra byte reveals a file that is too long
    std::size_t got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    data.resize(got);
    return true;
}

bool writeAll(int fd, const uint8_t *data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

bool loadState(const std::string &path, Devices &devices)
{
    std::vector<uint8_t> data;
    if (!readWholeFile(path, data) || data.size() != FileSize)
        return false;
    if (std::memcmp(data.data(), Magic, sizeof Magic) != 0 ||
        getU32(data.data() + 8) != StateFormatVersion || getU32(data.data() + 12) != DeviceCount)
        return false;
    if (crc32(data.data(), FileSize - 4) != getU32(data.data() + FileSize - 4))
        return false;

    Devices loaded = devices;
    const uint8_t *in = data.data() + HeaderSize;
    for (int index = 0; index < DeviceCount; ++index) {
        Device &d = loaded[index];
        const Device defaults = makeDefaultDevice(index);
        std::memcpy(d.identity.version.data(), in, VersionSize);
        if (!isValidVersionText(d.identity.version.data()))
            d.identity.version = defaults.identity.version;
        in += VersionSize;
        std::memcpy(d.props.data(), in, PropertyStoreSize);
        in += PropertyStoreSize;
        // A value this build would refuse falls back to its default.
        for (int32_t id = 1; id <= 32; ++id) {
            const PropertyInfo *info = findProperty(index, id);
            if (info && !info->readOnly && !info->valid(index, d.props.data() + info->storeOffset))
                std::memcpy(d.props.data() + info->storeOffset,
                            defaults.props.data() + info->storeOffset, info->size);
        }
        std::memcpy(d.memory.data(), in, MemorySize);
        in += MemorySize;
        refreshInfoBlock(d, index);
    }
    devices = std::move(loaded);
    return true;
}

bool saveState(const std::string &path, const Devices &devices)
{
    std::vector<uint8_t> out;
    out.reserve(FileSize);
    out.insert(out.end(), Magic, Magic + sizeof Magic);
    putU32(out, StateFormatVersion);
    putU32(out, DeviceCount);
    for (const Device &d : devices) {
        out.insert(out.end(), d.identity.version.begin(), d.identity.version.end());
        out.insert(out.end(), d.props.begin(), d.props.end());
        out.insert(out.end(), d.memory.begin(), d.memory.end());
    }
    putU32(out, crc32(out.data(), out.size()));

    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, out.data(), out.size());
    if (::close(fd) != 0 || !written || std::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

} // namespace dcsim
