// A TCP listener on a free loopback port, to see where a client connects.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace tolvane::fbdrv::testing {

class Listener {
 public:
  Listener() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    if (socket_ < 0) throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(socket_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(socket_, 4) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ::close(socket_);
      throw std::runtime_error("listen");
    }
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { ::close(socket_); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  int Port() const { return port_; }

  // Waits up to `seconds` for one connection, then hangs up on it.
  bool AcceptAndClose(int seconds) {
    pollfd wanted{socket_, POLLIN, 0};
    if (::poll(&wanted, 1, seconds * 1000) != 1) return false;
    const int client = ::accept(socket_, nullptr, nullptr);
    if (client < 0) return false;
    ::close(client);
    return true;
  }

 private:
  int socket_;
  int port_ = 0;
};

}  // namespace tolvane::fbdrv::testing
