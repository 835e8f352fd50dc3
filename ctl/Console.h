#pragma once
// What every command of the command line shares: where it works, the language of its
// messages, its refusals (exit status 1 with the reason on standard error) and its printing.
#include <json/value.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Common/Texts.h"

// Exit statuses: done, refused or failed, usage.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

struct CtlOptions {
    std::string installDir;
    uint16_t controlPort = 0;
    uint32_t serviceLimitMs = 10000;  // what start and stop wait for, as the console does
    bool json = false;
};
// The options of this run (set once by main).
CtlOptions& Options();

// The language of the messages: English while LC_ALL (else LC_MESSAGES) is "C" or "POSIX",
// else main.db's.
void SetLanguage(res::UiLanguage language);
res::UiLanguage Language();
bool EnvironmentAsksForEnglish();

// A text of the table in the run's language, with its arguments.
std::string Text(int id, std::initializer_list<std::string_view> args = {});
std::string Text(res::Ctl id);

// Thrown by a command that refuses or fails: main prints the message and exits with 1.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
[[noreturn]] void Refuse(const std::string& message);
[[noreturn]] void Refuse(int textId, std::initializer_list<std::string_view> args = {});

// A line on standard output, and a warning on standard error.
void Say(const std::string& line);
void Warn(const std::string& line);
void PrintJson(const Json::Value& value);
// Columns padded to the widest cell as a terminal shows it (CJK characters take two cells);
// control characters in a cell are printed as "?".
void PrintTable(const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& rows);

// Checks that main.db is there and answers within the database lock's wait; refuses with the
// reason otherwise.
void RequireDatabase();
// Tells a running server to read main.db again; warns when a running one did not confirm.
void ApplyConfiguration();
