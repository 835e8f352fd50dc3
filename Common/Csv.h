#pragma once
// One field of the CSV that exports of records write.
#include <string>
#include <string_view>

// RFC 4180 field: quoted when it holds a comma, a quote or a line break; quotes doubled. A
// field that begins with "=", "+", "-", "@", a tab or a CR is quoted with an apostrophe
// before its text, so that a spreadsheet shows it as text instead of running it as a formula.
void AppendCsvField(std::string_view field, std::string& out);
