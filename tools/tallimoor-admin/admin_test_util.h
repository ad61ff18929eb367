// Helpers shared by tallimoor-admin's tests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pdx/table.h"

namespace admin::testing {

// A table's rows as name -> value maps, in table order.
using Record = std::map<std::string, pdx::Value>;
std::vector<Record> readAll(pdx::Directory& dir, const std::string& table);
std::vector<Record> readAll(const std::string& dir, const std::string& table);

// Accessors that fail the test (through the returned defaults) on a wrong kind.
std::string textOf(const Record& r, const std::string& field);
int64_t intOf(const Record& r, const std::string& field);
double numberOf(const Record& r, const std::string& field);
pdx::Date dateOf(const Record& r, const std::string& field);
// Money in fixed point (ten-thousandths); blank is 0.
int64_t fixedOf(const Record& r, const std::string& field);

// Every file under a folder with its size and contents hash, to show that a
// refused command left it as it was.
std::map<std::string, std::string> snapshot(const std::string& dir);

std::shared_ptr<pdx::Directory> openDirectory(const std::string& path);

}  // namespace admin::testing
