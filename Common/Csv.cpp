#include "Common/Csv.h"

void AppendCsvField(std::string_view field, std::string& out) {
    // A spreadsheet runs a cell that starts like a formula; a leading apostrophe makes it text
    // (the client-supplied texts of alarms and history must not run on the reader's machine).
    const bool formula =
        !field.empty() && std::string_view("=+-@\t\r").find(field[0]) != std::string_view::npos;
    if (!formula && field.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += field;
        return;
    }
    out += '"';
    if (formula) out += '\'';
    for (char c : field) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}
