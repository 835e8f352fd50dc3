#include "ctl/Console.h"

#include <json/writer.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "Common/Database.h"
#include "Common/MainTables.h"
#include "Common/Paths.h"
#include "server_link/MQClient.h"
#include "service/ProxyCtrl.h"

namespace {

res::UiLanguage g_language = res::UiLanguage::English;

// Cells a terminal gives a code point: two for East Asian wide and full-width ones.
int CellsOf(char32_t point) {
    const bool wide =
        (point >= 0x1100 && point <= 0x115F) || (point >= 0x2E80 && point <= 0xA4CF) ||
        (point >= 0xAC00 && point <= 0xD7A3) || (point >= 0xF900 && point <= 0xFAFF) ||
        (point >= 0xFE30 && point <= 0xFE4F) || (point >= 0xFF00 && point <= 0xFF60) ||
        (point >= 0xFFE0 && point <= 0xFFE6) || (point >= 0x20000 && point <= 0x3FFFD);
    return wide ? 2 : 1;
}

int DisplayWidth(std::string_view text) {
    int cells = 0;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : 0;
        char32_t point = extra == 0 ? lead : lead & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < text.size(); ++k)
            point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        cells += CellsOf(point);
        i += static_cast<size_t>(extra) + 1;
    }
    return cells;
}

// A cell as a terminal may be sent it: a control character (one a client put in a host name,
// say) would move the cursor or clear the screen, so it is shown as "?".
std::string Printable(std::string cell) {
    for (char& c : cell) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return cell;
}

}  // namespace

CtlOptions& Options() {
    static CtlOptions options;
    return options;
}

void SetLanguage(res::UiLanguage language) {
    g_language = language;
}

res::UiLanguage Language() {
    return g_language;
}

bool EnvironmentAsksForEnglish() {
    const char* chosen = std::getenv("LC_ALL");
    if (chosen == nullptr || *chosen == '\0') chosen = std::getenv("LC_MESSAGES");
    if (chosen == nullptr) return false;
    const std::string_view value(chosen);
    return value == "C" || value == "POSIX" || value.starts_with("C.");
}

std::string Text(int id, std::initializer_list<std::string_view> args) {
    const char* text = res::TextOf(id, g_language);
    return text == nullptr ? std::string() : res::FormatText(text, args);
}

std::string Text(res::Ctl id) {
    return res::TextOf(id, g_language);
}

void Refuse(const std::string& message) {
    throw Refusal(message);
}

void Refuse(int textId, std::initializer_list<std::string_view> args) {
    throw Refusal(Text(textId, args));
}

void Say(const std::string& line) {
    std::cout << line << '\n';
}

void Warn(const std::string& line) {
    std::cerr << "torvoproxyctl: " << line << '\n';
}

void PrintJson(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "  ";
    builder["emitUTF8"] = true;
    std::cout << Json::writeString(builder, value) << '\n';
}

void PrintTable(const std::vector<std::string>& headers,
                const std::vector<std::vector<std::string>>& cells) {
    std::vector<std::vector<std::string>> rows = cells;
    for (auto& row : rows) std::transform(row.begin(), row.end(), row.begin(), Printable);
    std::vector<int> widths(headers.size(), 0);
    const auto measure = [&widths](const std::vector<std::string>& line) {
        for (size_t c = 0; c < line.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], DisplayWidth(line[c]));
    };
    measure(headers);
    for (const auto& row : rows) measure(row);
    const auto print = [&widths](const std::vector<std::string>& line) {
        std::string out;
        for (size_t c = 0; c < line.size() && c < widths.size(); ++c) {
            out += line[c];
            if (c + 1 < line.size()) out.append(widths[c] - DisplayWidth(line[c]) + 2, ' ');
        }
        std::cout << out << '\n';
    };
    print(headers);
    for (const auto& row : rows) print(row);
}

void RequireDatabase() {
    const std::string path = GetMainDbPath();
    std::string why = "no such file";
    // Opening would make an empty main.db where none is.
    if (access(path.c_str(), F_OK) == 0) {
        try {
            DatabaseSession session;
            session.db().execQuery("select count(*) from configuration");
            UpgradeMainTables(session.db());  // an older file gains what the commands read
            session.close();
            return;
        } catch (const CppSQLite3Exception& error) {
            why = error.errorMessage();
        }
    }
    Refuse(res::IDS_CTL_DB_UNUSABLE, {path, why});
}

void ApplyConfiguration() {
    if (ProxyCtrl().QueryStatus() != kServiceRunning) return;  // it reads main.db when it starts
    std::string reply;
    if (!MQClientSingleton::instance()->ApplyConf(reply)) Warn(Text(res::IDS_CTL_NOT_APPLIED));
}
