#pragma once
// A serial port opened for a board that streams: raw 8N1 at the board's speed, no flow
// control, no modem control lines raised or dropped by us (HUPCL cleared, so that closing does
// not reset the dongle), held exclusively (flock and TIOCEXCL), and read without blocking.

#include "dsu/common/ConfigError.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace solvane::dsusim {

class SerialPort {
public:
    /// Opens and sets up `device` at `baud` (115200 or 57600); `discard`: what waits in the
    /// port is dropped. Throws SimulatorConfigError (key SerialDevice) that says what stops
    /// it: no permission (and how to get it), busy, missing, or not a serial port.
    SerialPort(const std::string& device, int baud, bool discard);
    ~SerialPort();
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    /// Reads what has arrived, at most `size` bytes, without waiting: the count, 0 when
    /// nothing has arrived, -1 when the port has gone (hung up, unplugged).
    long read(uint8_t* data, std::size_t size);
    /// Waits at most `milliseconds` for bytes to arrive; false when none did or the port
    /// has gone.
    bool wait(int milliseconds);
    /// Writes a command byte; false when the port has gone.
    bool write(char command);
    /// Why the port has gone, once read() said so: the device unplugged (its node is gone)
    /// or the line hung up.
    [[nodiscard]] std::string goneReason() const;
    [[nodiscard]] const std::string& device() const { return device_; }
    [[nodiscard]] int descriptor() const { return fd_; }

private:
    std::string device_;
    int fd_ = -1;
};

/// The serial ports of this machine under their port numbers (Com1, Com2 ...), which stay the
/// same for the same device node: /dev/ttyUSBn is Com(n+1), /dev/ttyACMn Com(101+n) and the
/// built-in /dev/ttySn Com(201+n), for n 0..99.
struct SerialPorts {
    struct Port {
        int32_t number;
        std::string device;
    };
    /// The ports present, in number order.
    static std::vector<Port> present();
    /// The device node of a port number, or empty when the number names none.
    static std::string deviceOf(int32_t number);
};

} // namespace solvane::dsusim
