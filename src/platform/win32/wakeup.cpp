// The wake-up signal as a non-blocking loopback UDP socket that sends to itself: Windows has no
// pipe that an event loop's socket notifier can watch.
#include "platform/wakeup.h"

#include <winsock2.h>

namespace platform {
namespace {

bool StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return started;
}

SOCKET AsSocket(std::intptr_t value) { return static_cast<SOCKET>(value); }

}  // namespace

WakeupSignal::WakeupSignal() {
  if (!StartWinsock()) return;
  SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  u_long nonBlocking = 1;
  // Connected to its own address, so that Raise sends and Drain receives on the one socket.
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    ::closesocket(s);
    return;
  }
  readEnd_ = writeEnd_ = static_cast<std::intptr_t>(s);
}

WakeupSignal::~WakeupSignal() {
  if (readEnd_ >= 0) ::closesocket(AsSocket(readEnd_));
}

bool WakeupSignal::IsOpen() const { return readEnd_ >= 0; }

void WakeupSignal::Raise() {
  if (writeEnd_ < 0) return;
  const char byte = 1;
  // A full socket buffer already holds a wake-up; nothing is lost.
  ::send(AsSocket(writeEnd_), &byte, 1, 0);
}

bool WakeupSignal::Drain() {
  if (readEnd_ < 0) return false;
  bool pending = false;
  char drain[64];
  while (::recv(AsSocket(readEnd_), drain, sizeof drain, 0) > 0) pending = true;
  return pending;
}

std::intptr_t WakeupSignal::Handle() const { return readEnd_; }

}  // namespace platform
