#pragma once

#include <optional>

#include "descriptors/descriptor_files.hpp"

// Writes the input rows of the card's configuration form: one table row per
// parameter of menu "0" of control_menu.xml, in menu order, each with the
// parameter's label and a widget prefilled with its stored value. The caller
// has opened the form's table and closes it. Failures go to the error log;
// a parameter that cannot be read still gets its row.
//
// Returns 0 when the menu could be read; 1, with nothing written, when
// control_menu.xml cannot be opened or holds a corrupted oid line.
int RenderMenuForm();
// The same with param.xml as the request has read it (nothing: it could not
// be opened), so that a request reads it once.
int RenderMenuForm(const std::optional<ParamFile>& params);

// The value in force of the parameter of `found`: its value file read as the
// form reads it. False, with the form's log line, when it cannot be read.
bool ReadValueInForce(const ParamRecord& found, ValueText& value);
