#include "dsu/eeg/SerialPort.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace solvane::dsusim {

namespace {

struct Family {
    const char* prefix; ///< device node without its number
    int32_t first;      ///< port number of node 0
};
constexpr Family Families[] = {{"/dev/ttyUSB", 1}, {"/dev/ttyACM", 101}, {"/dev/ttyS", 201}};
constexpr int PerFamily = 100;

[[noreturn]] void refuse(ConfigFault fault, const std::string& message) {
    throw SimulatorConfigError(ConfigKey::SerialDevice, fault, message);
}

/// Whether a built-in port has a UART behind it: the kernel makes ttyS nodes for ports that
/// may not exist and marks those of type 0 (unknown).
bool builtInPresent(int n) {
    std::ifstream type("/sys/class/tty/ttyS" + std::to_string(n) + "/type");
    int value = 0;
    return type >> value && value != 0;
}

} // namespace

SerialPort::SerialPort(const std::string& device, int baud, bool discard) : device_(device) {
    fd_ = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        const std::string why = device + ": " + std::strerror(error);
        if (error == EACCES || error == EPERM)
            refuse(ConfigFault::NoPermission,
                   why + "; the serial ports belong to the group dialout: join it with "
                         "\"sudo usermod -aG dialout $USER\", then log out and in again");
        if (error == EBUSY)
            refuse(ConfigFault::PortBusy,
                   why + "; another program holds the port (ModemManager probes new devices "
                         "for a few seconds after they are plugged in)");
        if (error == ENOENT || error == ENODEV || error == ENXIO)
            refuse(ConfigFault::NoSuchPort, why + "; is the dongle plugged in?");
        refuse(ConfigFault::NotSerial, why);
    }
    struct Closer {
        int& fd;
        bool keep = false;
        ~Closer() {
            if (!keep) {
                ::close(fd);
                fd = -1;
            }
        }
    } closer{fd_};

    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0)
        refuse(ConfigFault::PortBusy, device + ": another program holds the port");
    termios settings{};
    if (::tcgetattr(fd_, &settings) != 0)
        refuse(ConfigFault::NotSerial, device + " is not a serial port: " + std::strerror(errno));
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    const speed_t speed = baud == 57600 ? B57600 : B115200;
    if (::cfsetispeed(&settings, speed) != 0 || ::cfsetospeed(&settings, speed) != 0 ||
        ::tcsetattr(fd_, TCSANOW, &settings) != 0)
        refuse(ConfigFault::NotSerial, device + ": the port refuses " + std::to_string(baud) +
                                           " 8N1: " + std::strerror(errno));
    // Keeps out other programs (ModemManager among them) while we use the port; a program
    // with root rights may still open it.
    ::ioctl(fd_, TIOCEXCL);
    if (discard)
        ::tcflush(fd_, TCIFLUSH);
    closer.keep = true;
}

SerialPort::~SerialPort() {
    if (fd_ >= 0) {
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }
}

long SerialPort::read(uint8_t* data, std::size_t size) {
    const ssize_t got = ::read(fd_, data, size);
    if (got > 0)
        return static_cast<long>(got);
    if (got < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    // 0 from a non-blocking terminal means "nothing", unless the other end has hung up.
    if (got == 0) {
        pollfd check{fd_, POLLIN, 0};
        if (::poll(&check, 1, 0) > 0 && (check.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return -1;
        return 0;
    }
    return -1;
}

bool SerialPort::wait(int milliseconds) {
    pollfd check{fd_, POLLIN, 0};
    const int ready = ::poll(&check, 1, milliseconds);
    return ready > 0 && (check.revents & POLLIN) != 0;
}

bool SerialPort::write(char command) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        const ssize_t put = ::write(fd_, &command, 1);
        if (put == 1)
            return true;
        if (put < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd room{fd_, POLLOUT, 0};
        ::poll(&room, 1, 1);
    }
    return false;
}

std::string SerialPort::goneReason() const {
    std::error_code error;
    if (!std::filesystem::exists(device_, error))
        return "the board was unplugged: its port " + device_ + " is gone";
    return "the port went away: " + device_ + " hung up";
}

std::vector<SerialPorts::Port> SerialPorts::present() {
    std::vector<Port> ports;
    for (const Family& family : Families) {
        for (int n = 0; n < PerFamily; ++n) {
            const std::string device = family.prefix + std::to_string(n);
            std::error_code error;
            if (!std::filesystem::exists(device, error))
                continue;
            if (family.first == 201 && !builtInPresent(n))
                continue;
            ports.push_back({family.first + n, device});
        }
    }
    return ports;
}

std::string SerialPorts::deviceOf(int32_t number) {
    for (const Family& family : Families)
        if (number >= family.first && number < family.first + PerFamily)
            return family.prefix + std::to_string(number - family.first);
    return {};
}

} // namespace solvane::dsusim
