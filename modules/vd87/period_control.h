// The period texts and checks of the purchases entry: the window caption,
// the period number typed in the period dialog, and the message of a table
// that cannot be opened.
#pragma once

#include <optional>
#include <string>

#include "entry_data_module.h"

namespace vd87 {

// Periods run from 0 to 13.
inline constexpr int kLastPeriod = 13;

// The period typed in the period dialog: a whole number 0..13 (blanks
// around it allowed), else nullopt.
std::optional<int> parsePeriod(const std::string& text);

// "Not a valid period number." / "Entrez un numéro valide." by language.
std::string invalidPeriodText(int language);

// The message of a table that cannot be opened: "Error opening table " or,
// in French (language 2), "Erreur lors de l'ouverture de la table ", then
// the table's file name as the data module names it.
std::string openTableErrorText(const std::string& fileName, int language);

// The caption at the start: `prefix` (message 12) + the period number +
// " : " + its month name, for Ctrl_ap_period. Opens and closes Periods.
// Without a row for the period, the number alone follows the prefix.
std::string startCaption(Tvd87_dm& dm, const std::string& prefix);

// The caption after "Change period" chose `period`: with a non-zero
// Ctrl_ap_period, `prefix` + the period + " : " + its month name (just
// prefix + "0" for period 0); with Ctrl_ap_period 0, prefix + "0" +
// `transactionPrefix` (message 13) + the period.
std::string changedCaption(Tvd87_dm& dm, const std::string& prefix, const std::string& transactionPrefix,
                           int period);

}  // namespace vd87
