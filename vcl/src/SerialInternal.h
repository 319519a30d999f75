// The line-speed calls of the serial layer. They use the kernel's termios2
// record, whose header cannot be included together with <termios.h>, so they
// live in SerialSpeed.cpp on their own.
#pragma once

#include <cstdint>

namespace vcl::serial_detail {

// The output speed of terminal Fd in bits per second, as the kernel holds it
// (any rate, standard or not). False with errno set when it cannot be read.
bool ReadLineSpeed(int Fd, std::uint32_t& Speed);

// Sets both directions of terminal Fd to Speed bits per second as a free rate
// (not one of the fixed speed codes); the rest of the settings stay. False
// with errno set when the driver refuses it.
bool WriteFreeLineSpeed(int Fd, std::uint32_t Speed);

}  // namespace vcl::serial_detail
