// pdxtool: looks into, creates, fills, corrects and checks Paradox tables
// from the command line, through the engine alone.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "commands.h"
#include "pdx/echo.h"
#include "sql_command.h"

namespace {

constexpr const char* kHelp = R"(usage: pdxtool COMMAND ARGUMENTS

Commands:
  info TABLE              print the table's header and fields
  create TABLE SCHEMA     create an empty level-7 table from a definition file
  load TABLE FILE.tsv     append the rows of a tab-separated file
  dump TABLE              print every row, tab-separated, in table order
  check TABLE             check the table's files; print one line per fault
  check DIR               the same for every table of a directory, after rolling
                          back any commit a dead process left unfinished
  apply DIR FILE          make the changes listed in FILE to the tables of DIR,
                          all of them or none
  sql DIR "QUERY" [--param NAME=VALUE ...]
                          run a SELECT over the tables of DIR and print its
                          rows as dump does; parameter values in dump form,
                          each parameter given once
  --help                  print this text

TABLE is the path of a table: dir/name.db, dir/NAME.DB or dir/name. The name
is matched without regard to case; a bare name lies in the current directory.

Exit status: 0 on success; 1 on any error, with a message on standard error
naming the file, and from check when a table has faults.

info prints one item a line, in this order:
  table=PATH        the table's file
  level=L           3.0, 3.5, 4, 5 or 7
  keyed=yes|no
  records=N
  codepage=C        code page of its text (0: the header names none)
  blocksize=B       in bytes
  fields=N
  key=K             number of leading fields that form the primary key
followed by one line per field, Name:T[size]. The lines from key= on are a
definition that create accepts.

A definition (SCHEMA) has key=K on its first line, then one field a line:
  Name:T[size]      e.g. Cli_code:A10  Cli_terms:I  Car_amount:$
                    Comments:M240  User_security:Y200
  T is Paradox's type letter:
    A alpha (size 1..255)   D date      S short      I long integer
    N number                $ money     L logical    T time
    @ timestamp             + autoincrement          # BCD (size = decimals)
    Y bytes (size 1..255)   M memo      F formatted memo
    B blob                  G graphic   O OLE
  For M, F, B, G and O the size (0..240, default 0) is the part of the
  contents kept in the record.

Tab-separated files (dump writes them, load reads them): the first line names
the fields; each further line is one row, one cell per field, separated by
tabs. load takes any subset of the fields in any order, names matched without
regard to case; the other fields stay blank (autoincrement fields are
numbered). An empty cell is a blank value. Cells:
  text, memo        UTF-8, with \t \n \r \\ for tab, line feed, carriage
                    return and backslash
  short, long, +    integer                  number, money  e.g. 12.5, -4e+01
  BCD               decimal number: -12.50   logical        true or false
  date              YYYY-MM-DD               time           HH:MM:SS[.mmm]
  timestamp         YYYY-MM-DDTHH:MM:SS[.mmm]
  bytes, blob, graphic, OLE                  hexadecimal, two digits a byte
The empty lines that end a file are ignored, but in a file of one field,
where an empty line is a row holding a blank. A UTF-8 byte-order mark at the
start of any file the tool reads (definitions, tab-separated files, apply
files) is skipped.
load checks every row before it writes any: a bad row is reported with its
number and field, and the table is left as it was. The rows are then written
all together or, should anything fail, not at all.

check DIR prints one line per fault, naming the file;
  DIR: recovered N unfinished commit(s)   when it rolled some back (those
                                          tables are as before that commit)
  DIR: N tables ok                        when every table is sound.

apply FILE holds one operation a line, cells separated by tabs:
  insert  TABLE  Field=value  ...
  update  TABLE  key=v1;v2;...  Field=value  ...
  add     TABLE  key=v1;v2;...  Field=number    adds to a short, long, number,
                                                money or BCD field (exactly, in
                                                decimal; a blank counts as 0)
  delete  TABLE  key=v1;v2;...
Values are written as in tab-separated files (an empty value is a blank). A
key names one record: a value for each key field, in key order, separated by
';' (write \; for a ';' inside a value). Only insert applies to unkeyed
tables. Empty lines and lines starting with # are ignored. Every line is
checked, then the operations run in order as one group: if any fails (no
record with the key, a key already taken, a value the field cannot hold, a
record locked by another user: code 10241), the message names its line and
no table changes. apply prints nothing when it succeeds.
)";

int usage(const std::string& why) {
  pdxtool::printLine(std::cerr, "pdxtool: " + why);
  std::cerr << "(pdxtool --help lists the commands)\n";
  return 1;
}

int run(const std::vector<std::string>& args) {
  if (args.empty()) return usage("no command given");
  const std::string& command = args[0];
  if (command == "--help" || command == "-h" || command == "help") {
    std::cout << kHelp;
    std::cout.flush();
    return std::cout ? 0 : 1;
  }
  auto want = [&](size_t n) { return args.size() == n + 1; };
  if (command == "info" && want(1)) return pdxtool::runInfo(args[1], std::cout, std::cerr);
  if (command == "create" && want(2)) return pdxtool::runCreate(args[1], args[2], std::cout, std::cerr);
  if (command == "load" && want(2)) return pdxtool::runLoad(args[1], args[2], std::cout, std::cerr);
  if (command == "dump" && want(1)) return pdxtool::runDump(args[1], std::cout, std::cerr);
  if (command == "check" && want(1)) return pdxtool::runCheck(args[1], std::cout, std::cerr);
  if (command == "apply" && want(2)) return pdxtool::runApply(args[1], args[2], std::cout, std::cerr);
  if (command == "sql") return pdxtool::runSqlCommand({args.begin() + 1, args.end()}, std::cout, std::cerr);
  if (command == "info" || command == "dump") return usage(command + " takes one TABLE");
  if (command == "check") return usage("check takes one TABLE or DIR");
  if (command == "apply") return usage("apply takes DIR FILE");
  if (command == "create") return usage("create takes TABLE SCHEMA");
  if (command == "load") return usage("load takes TABLE FILE.tsv");
  return usage("unknown command " + pdx::quote(command));
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& e) {
    pdxtool::printLine(std::cerr, std::string("pdxtool: ") + e.what());
  } catch (...) {
    std::cerr << "pdxtool: unexpected failure\n";
  }
  return 1;
}
