#include "update/complete_set.hpp"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdio>
#include <string>

#include "card/card_paths.hpp"
#include "card/child_program.hpp"
#include "card/error_log.hpp"
#include "card/system_log.hpp"
#include "cgi/cgi_request.hpp"
#include "descriptors/descriptor_files.hpp"
#include "response/response_output.hpp"
#include "update/network_settings_page.hpp"
#include "update/request_end_signals.hpp"

namespace {

// Runs one change program with the oid and the value as its arguments, on
// the request's own streams, and waits for it within the bound. Its exit
// status does not change the Apply; anything but a clean end is logged, and
// every change goes on the system log with how it ended.
void ApplyChange(const ParamChange& change) {
  // The record's texts, each ended by a NUL: a record fits a descriptor
  // line, so neither is ever cut.
  std::array<char, MAX_LINE_LENGTH> prog, oid;
  assert(change.prog.size() < prog.size() && change.oid.size() < oid.size());
  *std::copy(change.prog.begin(), change.prog.end(), prog.begin()) = '\0';
  *std::copy(change.oid.begin(), change.oid.end(), oid.begin()) = '\0';
  std::string end = "has no change program";
  if (change.prog.empty()) {
    WriteErrorLog("no program to apply parameter %s\n", oid.data());
  } else {
    const char* const argv[] = {prog.data(), oid.data(), change.value.c_str(), nullptr};
    end = "change program " +
          RunChildProgram(
              {.argv = argv, .name = {"change program", prog.data(), oid.data()}, .prepare = [] {
                 RestoreRequestEndSignals(/*keep_pipe_ignored=*/true);
               }});
  }
  // Who changed what, on the card's system log.
  const RequestParty party = CurrentRequestParty();
  WriteSystemLog(kSystemLogNotice, "%s from %s: set %s to \"%s\", %s", party.user, party.address,
                 oid.data(), change.value.c_str(), end.c_str());
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

  for (const ParamChange& change : state.changes) {
    ApplyChange(change);
  }

  // The request process does not wait for the refresh: an intermediate
  // process does, so the refresh never becomes a zombie of the server.
  const ChildName refresh{"refresh script", card_paths::kRefreshScript};
  if (StartChild(refresh, ChildGroup::kInherited) == 0) {
    const char* const argv[] = {card_paths::kRefreshScript, nullptr};
    RunChildProgram({.argv = argv,
                     .name = refresh,
                     .prepare = PrepareRefresh,
                     .not_started = [] { std::perror("execl"); },
                     .log_every_failure = false});
  }
  return 0;
}
