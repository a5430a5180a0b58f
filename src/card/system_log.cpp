#include "card/system_log.hpp"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "card/card_paths.hpp"
#include "card/file_descriptor.hpp"

namespace {

// What a syslog relay must take whole.
constexpr std::size_t kMaxDatagram = 1024;

// No timestamp: syslogd stamps a line without one with its own clock, in the
// card's time zone, and the time-zone code would add about 100 KiB (its
// string parsing) to a static program.
std::string Header(int priority) {
  char header[48];
  std::snprintf(header, sizeof header, "<%d>Merovane[%ld]: ", priority,
                static_cast<long>(::getpid()));
  return header;
}

void AppendOneLine(std::string& line, const char* text) {
  static constexpr char kHex[] = "0123456789abcdef";
  for (; *text != '\0' && line.size() < kMaxDatagram; ++text) {
    const auto byte = static_cast<unsigned char>(*text);
    if (byte < 0x20 || byte == 0x7f) {
      line += "\\x";
      line.push_back(kHex[byte >> 4]);
      line.push_back(kHex[byte & 0xf]);
    } else {
      line.push_back(*text);
    }
  }
  if (line.size() > kMaxDatagram) {
    line.resize(kMaxDatagram);
  }
}

const char* OrDash(const char* value) { return value == nullptr || *value == '\0' ? "-" : value; }

}  // namespace

void WriteSystemLog(int priority, const char* format, ...) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (std::strlen(card_paths::kSystemLog) >= sizeof address.sun_path) {
    return;
  }
  std::strcpy(address.sun_path, card_paths::kSystemLog);
  // Connected first: without a reader nothing is put together.
  const FileDescriptor socket(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!socket ||
      ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    return;
  }
  char text[kMaxDatagram];
  va_list arguments;
  va_start(arguments, format);
  std::vsnprintf(text, sizeof text, format, arguments);
  va_end(arguments);
  std::string line = Header(priority);
  AppendOneLine(line, text);
  ::send(socket.get(), line.data(), line.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

RequestParty CurrentRequestParty() {
  return {OrDash(std::getenv("REMOTE_USER")), OrDash(std::getenv("REMOTE_ADDR"))};
}
