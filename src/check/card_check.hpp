#pragma once

#include "check/card_image.hpp"
#include "check/check_report.hpp"

// Checks a card's control_menu.xml and param.xml and the files that
// param.xml names, read as the program reads them: errors for what the
// program will lose, refuse or misapply, warnings for what it does that a card
// maker may not expect.
CheckReport CheckCard(const CardImage& image);
