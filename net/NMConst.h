// Fixed texts of the socket layer: status texts and the socket error table.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace net {

struct SocketErrorRow {
    std::int32_t number;
    std::string_view text;
};

// Socket library errors 10004-10093 and name-lookup errors 11001-11004, ascending.
std::span<const SocketErrorRow> SocketErrorTable();

namespace status {
inline constexpr std::string_view Create = "Create";
inline constexpr std::string_view Destroy = "Destroy";
inline constexpr std::string_view Connecting = "Connecting";
inline constexpr std::string_view Disconnecting = "Disconnecting";
inline constexpr std::string_view Canceling = "Canceling";
inline constexpr std::string_view ResolveHost = "Resolve Host";
inline constexpr std::string_view InitializingWinsock = "Initializing Winsock";
inline constexpr std::string_view LookingUpErrorMessage = "Looking Up Error Message";
inline constexpr std::string_view TimerOn = "Timer On";
inline constexpr std::string_view TimerOff = "Timer Off";
inline constexpr std::string_view TimerTriggered = "Timer Triggered";
inline constexpr std::string_view Write = "Write";
inline constexpr std::string_view Writeln = "Writeln";
inline constexpr std::string_view ReadLn = "ReadLn";
inline constexpr std::string_view Transaction = "Transaction";
inline constexpr std::string_view SendFile = "SendFile";
inline constexpr std::string_view CaptureFile = "CaptureFile";
inline constexpr std::string_view CaptureString = "Capture String";
inline constexpr std::string_view ReadToStream = "ReadToStream";
inline constexpr std::string_view WriteFromStream = "WriteFromStream";
inline constexpr std::string_view SendingBuffer = "Sending Buffer";
inline constexpr std::string_view Accepting = "Accepting";
inline constexpr std::string_view RequestCloseSocket = "Request Close Socket";
inline constexpr std::string_view CheckingError = "Checking Error In Error Manager";
} // namespace status

// Levels of the status texts: a text is reported when its level is at most ReportLevel.
namespace level {
inline constexpr std::uint8_t Reply = 1;
inline constexpr std::uint8_t Socket = 4;
inline constexpr std::uint8_t Trace = 8;
inline constexpr std::uint8_t Errors = 16;
} // namespace level

} // namespace net
