#include "period_control.h"

#include <charconv>

#include "db/error.h"

namespace vd87 {

namespace {

// " : " + the month name of `period`, or "" when Periods has no such row.
std::string monthOf(Tvd87_dm& dm, int period) {
  db::check(dm.Periods.open());
  std::string text;
  auto found = dm.Periods.findKey({pdx::Value::integer(period)});
  if (found.ok() && *found) text = " : " + dm.Periods.fieldByName("Period_mth").asString();
  dm.Periods.close();
  db::check(found.status());
  return text;
}

int apPeriod(Tvd87_dm& dm) {
  db::check(dm.ctrl.first());
  return static_cast<int>(dm.ctrl.fieldByName("Ctrl_ap_period").asInteger());
}

}  // namespace

std::optional<int> parsePeriod(const std::string& text) {
  const auto b = text.find_first_not_of(' ');
  if (b == std::string::npos) return std::nullopt;
  const auto e = text.find_last_not_of(' ');
  const char* first = text.data() + b;
  const char* last = text.data() + e + 1;
  int value = 0;
  auto [ptr, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || ptr != last) return std::nullopt;
  if (value < 0 || value > kLastPeriod) return std::nullopt;
  return value;
}

std::string invalidPeriodText(int language) {
  return language == 1 ? "Not a valid period number." : "Entrez un numéro valide.";
}

std::string openTableErrorText(const std::string& fileName, int language) {
  return (language == 2 ? "Erreur lors de l'ouverture de la table " : "Error opening table ") + fileName;
}

std::string startCaption(Tvd87_dm& dm, const std::string& prefix) {
  const int period = apPeriod(dm);
  return prefix + std::to_string(period) + monthOf(dm, period);
}

std::string changedCaption(Tvd87_dm& dm, const std::string& prefix, const std::string& transactionPrefix,
                           int period) {
  if (apPeriod(dm) == 0) return prefix + "0" + transactionPrefix + std::to_string(period);
  if (period == 0) return prefix + "0";
  return prefix + std::to_string(period) + monthOf(dm, period);
}

}  // namespace vd87
