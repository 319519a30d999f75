// SQLite database files for tests of the data-access layer.
#pragma once

#include <string>

namespace tolvane::test {

// Creates (or replaces) the database file Path and runs Sql in it.
// Returns Path.
std::string MakeDatabase(const std::string& Path, const std::string& Sql);

// Runs a program with its arguments and returns its standard output; Status
// receives its exit status.
std::string RunProgram(const std::string& CommandLine, int& Status);

}  // namespace tolvane::test
