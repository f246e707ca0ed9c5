// Windows Sockets 1.1 over POSIX sockets: the calls and numbers the socket component relies on.
#pragma once

namespace platform {

constexpr int WSABASEERR = 10000;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAECONNREFUSED = 10061;

// The error of the last failed socket call on this thread.
int WSAGetLastError();
void WSASetLastError(int error);

} // namespace platform
