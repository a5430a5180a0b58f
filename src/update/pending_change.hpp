#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "update/set_state.hpp"

// A change of the card's address or of its DHCP choice can cut the card off
// from the operator. Built with a confirmation window (MEROVANE_CONFIRM_S),
// such an Apply leaves a pending change: one file of root's at
// card_paths::kPendingChange, written before its change programs run, that a
// request reaching the card at the address applied (any request after a DHCP
// change) removes, and a later Apply removes or replaces. The Apply's
// watcher sets the parameters it changed back when the file outlives the
// window.

struct KeptValue {
  std::string_view prog, oid;  // the record's texts, as in ParamChange
  std::string value;           // in force before the Apply
};

struct PendingChange {
  std::uint64_t token = 0;      // this Apply's own: the watcher undoes nothing else
  std::string address;          // empty: any request confirms (DHCP, or no address sent)
  std::vector<KeptValue> kept;  // in param.xml order
};

// What an Apply keeps: the value in force (read as the form reads it) of
// every change whose value differs from it. Nothing when neither the address
// nor the DHCP choice is among them.
std::optional<PendingChange> PendingChangeOf(const SetState& state);

// Replaces the pending file with `change`'s, as root: written beside, mode
// 0600, renamed over. False, logged, when it could not be written.
bool WritePendingChange(const PendingChange& change);
// Removes the pending file, as root: a later Apply confirms the earlier one.
void RemovePendingChange();
// Removes the pending file when this request confirms it: its host
// (HTTP_HOST without the port, else SERVER_NAME) is the address applied.
// Without a pending file, one failed open.
void ConfirmPendingChange();
// Whether the pending file still holds `token`, as the watcher asks once the
// window has ended; it is removed then, so that no request confirms it after.
bool ClaimPendingChange(std::uint64_t token);
// Logs one value set back after `seconds` without confirmation, on the error
// log and the system log (with `end`, how its change program ended).
void LogUndoneChange(const PendingChange& change, const KeptValue& undone, unsigned seconds,
                     const std::string& end);
