#include "update/complete_set.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "card/card_paths.hpp"
#include "card/child_program.hpp"
#include "card/error_log.hpp"
#include "card/system_log.hpp"
#include "cgi/cgi_request.hpp"
#include "descriptors/descriptor_files.hpp"
#include "response/response_output.hpp"
#include "update/network_settings_page.hpp"
#include "update/pending_change.hpp"
#include "update/request_end_signals.hpp"

// The seconds an address change waits for its confirmation, a build setting
// of each program (0: the window and all it does are left out).
#ifndef MEROVANE_CONFIRM_S
#define MEROVANE_CONFIRM_S 0
#endif

namespace {

constexpr unsigned kConfirmSeconds = MEROVANE_CONFIRM_S;

// Runs one change program with the oid and the value as its arguments, on
// the request's own streams, and waits for it within the bound. Its exit
// status does not change the Apply; anything but a clean end is logged.
// Returns how it ended, for the system log.
std::string ApplyChange(std::string_view prog_text, std::string_view oid_text,
                        const std::string& value) {
  // The record's texts, each ended by a NUL: a record fits a descriptor
  // line, so neither is ever cut.
  std::array<char, MAX_LINE_LENGTH> prog, oid;
  assert(prog_text.size() < prog.size() && oid_text.size() < oid.size());
  *std::copy(prog_text.begin(), prog_text.end(), prog.begin()) = '\0';
  *std::copy(oid_text.begin(), oid_text.end(), oid.begin()) = '\0';
  if (prog_text.empty()) {
    WriteErrorLog("no program to apply parameter %s\n", oid.data());
    return "has no change program";
  }
  const char* const argv[] = {prog.data(), oid.data(), value.c_str(), nullptr};
  return "change program " +
         RunChildProgram({.argv = argv,
                          .name = {"change program", prog.data(), oid.data()},
                          .prepare = [] { RestoreRequestEndSignals(/*keep_pipe_ignored=*/true); }});
}

// The refresh process: nothing of the request's streams stays open in it,
// and it holds no descriptor but its three streams on the null device.
// freopen closes each standard stream (the response among them) before it
// reopens it, and every other descriptor closes when the script starts. Not
// fcloseall first: reopening a stream it has closed is undefined, and glibc
// then lists the stream's buffer twice for release at exit, a cycle that a
// process releasing its memory at exit (as under memcheck) walks for ever.
void PrepareRefresh() {
  std::freopen(card_paths::kDevNull, "r", stdin);
  std::freopen(card_paths::kDevNull, "w", stdout);
  std::freopen(card_paths::kDevNull, "w", stderr);
  // Only now: closing the streams may still write to a closed response.
  RestoreRequestEndSignals(/*keep_pipe_ignored=*/false);
}

ChildName RefreshName() { return {"refresh script", card_paths::kRefreshScript}; }

void RunRefresh() {
  const char* const argv[] = {card_paths::kRefreshScript, nullptr};
  RunChildProgram({.argv = argv,
                   .name = RefreshName(),
                   .prepare = PrepareRefresh,
                   .not_started = [] { std::perror("execl"); },
                   .log_every_failure = false});
}

// The watcher of a pending change, detached: a group of its own, nothing of
// the request (its streams on the null device, no other descriptor), so
// that the response ends with the refresh. Once the window has passed and
// the change is still pending, it sets back each value it kept, in
// param.xml order, then refreshes. (Unused, with what it alone uses, in a
// build without the window.)
[[maybe_unused]] void WatchPendingChange(const PendingChange& change) {
  if (StartChild({"confirmation watcher", card_paths::kPendingChange}, ChildGroup::kOwn) != 0) {
    return;
  }
  CloseErrorLog();
  CloseAboveStandardStreams(/*on_exec=*/false);
  std::freopen(card_paths::kDevNull, "r", stdin);
  std::freopen(card_paths::kDevNull, "w", stdout);
  std::freopen(card_paths::kDevNull, "w", stderr);
  for (unsigned left = kConfirmSeconds; left > 0;) {
    left = ::sleep(left);
  }
  OpenErrorLog();
  if (!ClaimPendingChange(change.token)) {
    return;
  }
  std::vector<std::string> ends;
  for (const KeptValue& kept : change.kept) {
    ends.push_back(ApplyChange(kept.prog, kept.oid, kept.value));
  }
  RunRefresh();
  for (std::size_t index = 0; index < change.kept.size(); ++index) {
    LogUndoneChange(change, change.kept[index], kConfirmSeconds, ends[index]);
  }
}

}  // namespace

int CompleteSet(const SetState& state, std::string_view scheme, std::string_view fallback_host) {
  // All or nothing: from here every change runs and the refresh starts,
  // also when the browser leaves as soon as the page arrives (the page
  // itself sends it away) and the server ends the request.
  IgnoreRequestEndSignals();
  WriteNetworkSettingsPage(state, scheme, fallback_host);
  // The page is complete before any program runs; children inherit the
  // response stream, and their output follows the page footer.
  if (!response::Flush()) {
    WriteErrorLog("can't deliver the network settings page; applying the changes anyway\n");
  }
  CgiFreeRequest();

  std::optional<PendingChange> pending;
  if constexpr (kConfirmSeconds > 0) {
    // Kept before any program runs, and pending already while they do: a
    // browser sent to the new address may arrive before the last one ends.
    // Any earlier pending change is confirmed by this Apply.
    pending = PendingChangeOf(state);
    if (!pending || !WritePendingChange(*pending)) {
      pending.reset();
      RemovePendingChange();
    }
  }

  // Who changed what, on the card's system log.
  const RequestParty party = CurrentRequestParty();
  for (const ParamChange& change : state.changes) {
    const std::string end = ApplyChange(change.prog, change.oid, change.value);
    const std::string oid(change.oid);
    WriteSystemLog(kSystemLogNotice, "%s from %s: set %s to \"%s\", %s", party.user, party.address,
                   oid.c_str(), change.value.c_str(), end.c_str());
  }

  // The request process does not wait for the refresh: an intermediate
  // process does, so the refresh never becomes a zombie of the server.
  if (StartChild(RefreshName(), ChildGroup::kInherited) == 0) {
    RunRefresh();
    return 0;
  }
  if constexpr (kConfirmSeconds > 0) {
    if (pending) {
      WatchPendingChange(*pending);
    }
  }
  return 0;
}
