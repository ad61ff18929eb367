// The tables of sql_bench and what its queries must return.
//
// Two tables shaped like the ledger's:
//
//   cap: payables open items, 1,000 per supplier (kItemsPerSupplier)
//     FIELD         ENGINE TYPE      SQLITE COLUMN
//     Cap_supplier  alpha 10, key    TEXT NOT NULL      key field 1
//     Cap_invoice   alpha 10, key    TEXT NOT NULL      key field 2
//     Cap_ref       alpha 10, key    TEXT NOT NULL      key field 3
//     Cap_date      date, key        INTEGER NOT NULL   key field 4 (the engine's day count)
//     Cap_type      alpha 1, key     TEXT NOT NULL      key field 5
//     Cap_seq       autoincrement    INTEGER            1, 2, 3, ... in key order
//     Cap_du_date   date             INTEGER            blank on payments and credits
//     Cap_amount    money            REAL
//     Cap_memo      memo 200         TEXT               blank on two items in three; never
//                                                       longer than the 200 bytes the record holds
//     Cap_user      alpha 10         TEXT
//     Cap_stamp     timestamp        REAL               milliseconds, as the engine stores it
//
//   cli: clients, keyed on Cli_code
//     Cli_code A10 (key), Cli_name A60, Cli_address A40, Cli_city A30,
//     Cli_province A2, Cli_postal A7, Cli_phone A14, Cli_contact A40,
//     Cli_language A1, Cli_credit_limit $, Cli_balance $, Cli_since D
//     (SQLite: TEXT, REAL for money, INTEGER day counts for dates)
//
// Every value comes from a fixed hash of the row's place, so both sides hold
// the same rows and the result of every query is known before it runs. Key
// fields hold upper-case ASCII letters and digits only, so the engine's byte
// order of keys and SQLite's BINARY collation agree. Other text has French
// letters (é, ô, ç), which the engine converts from its code page on every
// read. Blank fields are NULL in SQLite, as they read blank in the engine.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace sqlbench {

constexpr int64_t kItemsPerSupplier = 1'000;
constexpr int64_t kMaxSuppliers = 50'000;
constexpr int64_t kMaxClients = 10'000'000;

uint64_t mix(uint64_t x);

// A reproducible stream of random numbers; each use draws from its own.
class Random {
 public:
  explicit Random(uint64_t stream);
  uint64_t next();
  uint64_t below(uint64_t n) { return next() % n; }

 private:
  uint64_t state_;
};

// What a query returned, folded field by field in one canonical form that
// both sides produce: blank, integer (dates as day counts), real (money and
// timestamps, by their bits) or text (UTF-8 bytes). The fold depends on the
// order of rows and fields, so a side that returns the right rows in the
// wrong order does not match.
class Checksum {
 public:
  void null() { fold(0x9e37'79b9'7f4a'7c15ull); }
  void integer(int64_t v) {
    fold(1);
    fold(static_cast<uint64_t>(v));
  }
  void real(double v);
  void text(std::string_view utf8);
  void endRow() {
    fold(0x0f0f'5a5a'c3c3'9696ull);
    ++rows_;
  }

  int64_t rows() const { return rows_; }
  uint64_t value() const { return hash_; }
  bool operator==(const Checksum&) const = default;

 private:
  void fold(uint64_t x) {
    hash_ = ((hash_ << 5 | hash_ >> 59) ^ x) * 0x0000'0100'0000'01b3ull;
  }
  uint64_t hash_ = 0xcbf2'9ce4'8422'2325ull;
  int64_t rows_ = 0;
};

// ---------------------------------------------------------------- cap

struct CapRow {
  std::string supplier, invoice, ref;
  int32_t date = 0;  // day count
  std::string type;  // one letter: F invoice, P payment, C credit note
  int64_t seq = 0;
  std::optional<int32_t> dueDate;
  int64_t cents = 0;
  std::string memo;  // empty = blank
  std::string user;
  double stampMs = 0;

  double amount() const { return static_cast<double>(cents) / 100.0; }
  void addTo(Checksum& sum) const;  // in field order
};

// The shape of cap for a requested number of rows: whole suppliers of
// kItemsPerSupplier items, at least one (then of `rows` items when fewer).
struct CapShape {
  int64_t suppliers = 1;
  int64_t itemsPerSupplier = kItemsPerSupplier;
  static CapShape forRows(int64_t rows);
  int64_t rows() const { return suppliers * itemsPerSupplier; }
};

// The supplier codes, in key order.
std::vector<std::string> supplierCodes(int64_t suppliers);

// The items of supplier `index` (its place in supplierCodes), in key order.
// Cap_seq numbers the rows of the whole table from 1 in key order, as the
// engine's autoincrement does when the table is filled in key order.
std::vector<CapRow> supplierItems(const CapShape& shape, int64_t index, const std::string& code);

// Which suppliers the timed queries ask for, by index, in order.
std::vector<uint32_t> querySuppliers(const CapShape& shape, int64_t queries);

// ---------------------------------------------------------------- cli

struct CliRow {
  std::string code, name, address, city, province, postal, phone, contact, language;
  int64_t creditCents = 0, balanceCents = 0;
  int32_t since = 0;

  void addTo(Checksum& sum) const;
};

// Client `index` of the table, in key order.
CliRow clientAt(int64_t index);

// The pattern of the scan, and whether a name matches it (byte for byte,
// with case, as both sides compare).
inline constexpr std::string_view kNeedle = "abc";
bool nameMatches(const std::string& name);

}  // namespace sqlbench
