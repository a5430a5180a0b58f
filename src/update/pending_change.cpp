#include "update/pending_change.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "card/card_file.hpp"
#include "card/card_paths.hpp"
#include "card/error_log.hpp"
#include "card/process_identity.hpp"
#include "card/system_log.hpp"
#include "descriptors/menu_form.hpp"
#include "response/request_site.hpp"

namespace {

// The file's head: "token=<hex>" and "address=<address>" (or "dhcp"). The
// kept values follow as "<oid>=<value>" lines, for whoever looks.
struct PendingHead {
  std::uint64_t token = 0;
  std::optional<std::string> address;  // none: any request confirms
  dev_t device = 0;
  ino_t inode = 0;
};

// The pending file's head, when the file can be believed: one plain file of
// the program's real user (root on the card), read as root.
std::optional<PendingHead> ReadHead() {
  struct stat status {};
  const FileDescriptor file =
      OpenCardFileForReading(card_paths::kPendingChange, O_NOFOLLOW, &status);
  if (!file || !HeldOnlyBy(status, ::getuid())) {
    return std::nullopt;
  }
  char bytes[2 * MAX_LINE_LENGTH];
  std::size_t filled = 0;
  for (std::size_t got = 1; got != 0 && filled < sizeof bytes; filled += got) {
    got = file.Read(bytes + filled, sizeof bytes - filled);
  }
  const std::string_view text(bytes, filled);
  const std::size_t token_end = text.find('\n');
  const std::string_view token_line = text.substr(0, token_end);
  if (token_end == std::string_view::npos || !token_line.starts_with("token=")) {
    return std::nullopt;
  }
  PendingHead head;
  head.device = status.st_dev;
  head.inode = status.st_ino;
  std::from_chars(token_line.data() + 6, token_line.data() + token_line.size(), head.token, 16);
  const std::string_view rest = text.substr(token_end + 1);
  const std::string_view address_line = rest.substr(0, rest.find('\n'));
  if (address_line.starts_with("address=")) {
    head.address = address_line.substr(8);
  }
  return head;
}

// Removes the file that `head` was read from, and nothing that replaced it.
bool RemoveRead(const PendingHead& head) {
  struct stat status {};
  return ::lstat(card_paths::kPendingChange, &status) == 0 && status.st_dev == head.device &&
         status.st_ino == head.inode && ::unlink(card_paths::kPendingChange) == 0;
}

}  // namespace

std::optional<PendingChange> PendingChangeOf(const SetState& state) {
  PendingChange change;
  bool cuts_off = false;
  for (const ParamChange& applied : state.changes) {
    ValueText in_force;
    if (applied.record == nullptr || !ReadValueInForce(*applied.record, in_force) ||
        in_force.view() == applied.value) {
      continue;
    }
    cuts_off = cuts_off || applied.oid == kAddressOid || applied.oid == kDhcpOid;
    change.kept.push_back({applied.prog, applied.oid, std::string(in_force.view())});
  }
  if (!cuts_off) {
    return std::nullopt;
  }
  // Unique among Applies: no two processes share an id at the same moment.
  change.token =
      (static_cast<std::uint64_t>(::getpid()) << 32) ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  change.address = state.dhcp != 0 ? "" : state.new_address;
  return change;
}

bool WritePendingChange(const PendingChange& change) {
  char token[17];
  std::snprintf(token, sizeof token, "%016llx", static_cast<unsigned long long>(change.token));
  std::string text = std::string("token=") + token + "\n" +
                     (change.address.empty() ? "dhcp" : "address=" + change.address) + "\n";
  for (const KeptValue& kept : change.kept) {
    text.append(kept.oid).append("=").append(kept.value).append("\n");
  }
  const std::string beside = std::string(card_paths::kPendingChange) + ".new";
  const AsRoot root;
  ::unlink(beside.c_str());
  FileDescriptor file(
      ::open(beside.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  const bool written =
      file && ::write(file.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
  file.Close();
  if (written && std::rename(beside.c_str(), card_paths::kPendingChange) == 0) {
    return true;
  }
  WriteErrorLog("can't keep the pending change in %s: %s\n", card_paths::kPendingChange,
                std::strerror(errno));
  ::unlink(beside.c_str());
  return false;
}

void RemovePendingChange() {
  const AsRoot root;
  ::unlink(card_paths::kPendingChange);
}

void ConfirmPendingChange() {
  // Most requests find none: one failed lstat, as the request's own user.
  struct stat status {};
  if (::lstat(card_paths::kPendingChange, &status) != 0) {
    return;
  }
  const AsRoot root;
  const std::optional<PendingHead> head = ReadHead();
  if (head && (!head->address || *head->address == RequestHostName())) {
    RemoveRead(*head);
  }
}

bool ClaimPendingChange(std::uint64_t token) {
  const AsRoot root;
  const std::optional<PendingHead> head = ReadHead();
  return head && head->token == token && RemoveRead(*head);
}

void LogUndoneChange(const PendingChange& change, const KeptValue& undone, unsigned seconds,
                     const std::string& end) {
  const std::string oid(undone.oid);
  const char* const address = change.address.empty() ? "DHCP" : change.address.c_str();
  WriteErrorLog("the change to %s was not confirmed within %u s: %s set back to \"%s\"\n", address,
                seconds, oid.c_str(), undone.value.c_str());
  WriteSystemLog(kSystemLogWarning,
                 "the change to %s was not confirmed within %u s: set %s back to \"%s\", %s",
                 address, seconds, oid.c_str(), undone.value.c_str(), end.c_str());
}
