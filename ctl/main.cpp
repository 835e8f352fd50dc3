// torvoproxyctl: the proxy's administration from a shell, over the same core as the window
// console (the same rules, database lock, service backends and control channel).
#include <glog/logging.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <iostream>

#include "Common/Database.h"
#include "Common/DatabaseLock.h"
#include "Common/Paths.h"
#include "ctl/Commands.h"
#include "ctl/Console.h"
#include "ctl/Settings.h"
#include "server_link/MQClient.h"
#include "service/ProxyCtrl.h"
#include "service/ServiceRights.h"

namespace {

// The folder of this executable when it is an install folder (the server lies beside it, as
// scripts/lay-out-install and the package lay it out), else the package's.
std::string DefaultInstallDir() {
    const std::string own = GetModuleDirectory();
    if (!own.empty() && access(JoinPath(own, "TorvoProxyServer").c_str(), F_OK) == 0) return own;
    return TORVO_INSTALL_DIR;
}

// The control channel's port: the server's default, or the one both are given in
// TORVO_CONTROL_PORT.
uint16_t ControlPort() {
    const char* text = std::getenv("TORVO_CONTROL_PORT");
    unsigned port = 0;
    if (text != nullptr && *text != '\0') {
        const char* end = text + std::char_traits<char>::length(text);
        if (std::from_chars(text, end, port).ptr == end && port >= 1 && port <= 65535)
            return static_cast<uint16_t>(port);
    }
    return MQClient::kDefaultPort;
}

// The language, the rights and main.db, in that order: each refusal is said in the best
// language known by then.
void Prepare() {
    const bool english = EnvironmentAsksForEnglish();
    // A main.db held longer is waited for once, by RequireDatabase below.
    const int languageWaitMs = std::min<int64_t>(DatabaseLock::WaitLimit().count(), 1000);
    const std::optional<std::string> stored = access(GetMainDbPath().c_str(), R_OK) == 0
                                                  ? StoredLanguage(std::max(languageWaitMs, 1))
                                                  : std::nullopt;
    SetLanguage(english || !stored ? res::UiLanguage::English : res::UiLanguageForSetting(*stored));
    switch (DecideRights(GatherRightsFacts(GetModuleDirectory(), false))) {
        case RightsAction::ReportNoRoot:
            Refuse(res::IDS_CTL_NEED_ROOT);
        case RightsAction::ReportNoWriteAccess:
        case RightsAction::RelaunchElevated:
            Refuse(res::IDS_CTL_NEED_WRITE_ACCESS, {GetModuleDirectory()});
        case RightsAction::GoOn:
            break;
    }
    RequireDatabase();
}

// An option whose value is kept only when it is given.
CLI::Option* AddOptional(CLI::App& app, const char* name, std::optional<std::string>& value,
                         const char* description) {
    return app.add_option_function<std::string>(
        name, [&value](const std::string& text) { value = text; }, description);
}

void AddAccountOptions(CLI::App& command, AccountRequest& request, bool modify) {
    command.add_option("NAME", request.name, "The account's user name")->required();
    command.add_flag("--password-stdin", request.passwordStdin,
                     "Read the password from the first line of standard input");
    AddOptional(command, "--expires", request.expires, "Last day of use, YYYY-MM-DD");
    AddOptional(command, "--quota-mb", request.quotaMb, "Traffic per calendar month, in MB");
    AddOptional(command, "--bandwidth-kbs", request.bandwidthKbs, "Bandwidth, in KB/s");
    if (!modify) {
        command.add_flag_callback(
            "--disabled", [&request] { request.enabled = false; }, "Add the account disabled");
        return;
    }
    command.add_flag("--ask-password", request.newPassword,
                     "Ask for a new password on the terminal (without echo)");
    command.get_option("--expires")
        ->excludes(command.add_flag("--no-expiry", request.noExpiry, "The account never expires"));
    command.get_option("--quota-mb")
        ->excludes(command.add_flag("--no-quota", request.noQuota, "No monthly traffic quota"));
    command.get_option("--bandwidth-kbs")
        ->excludes(command.add_flag("--no-bandwidth", request.noBandwidth, "No bandwidth limit"));
    auto* enable = command.add_flag_callback(
        "--enable", [&request] { request.enabled = true; }, "Enable the account");
    enable->excludes(command.add_flag_callback(
        "--disable", [&request] { request.enabled = false; }, "Disable the account"));
}

}  // namespace

int main(int argc, char** argv) {
    google::InitGoogleLogging(argv[0]);
    FLAGS_logtostderr = true;
    FLAGS_minloglevel = google::GLOG_FATAL;  // diagnostics only with --verbose

    CLI::App app{"TorvoProxy administration from the command line", "torvoproxyctl"};
    app.require_subcommand(1);
    app.fallthrough();
    CtlOptions& options = Options();
    options.installDir = DefaultInstallDir();
    bool verbose = false;
    double lockWaitSeconds = 60, serviceWaitSeconds = 10;
    app.add_option("--install-dir", options.installDir, "The install folder (main.db, the server)")
        ->capture_default_str();
    app.add_flag("--json", options.json, "Print data as JSON");
    app.add_option("--lock-wait", lockWaitSeconds, "Seconds to wait for main.db's lock")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 3600.0));
    app.add_option("--timeout", serviceWaitSeconds,
                   "Seconds start and stop wait for the proxy service")
        ->capture_default_str()
        ->check(CLI::Range(1.0, 3600.0));
    app.add_flag("--verbose", verbose, "Diagnostic log lines on standard error");

    std::function<void()> run;
    const auto command = [&app, &run](const char* name, const char* description,
                                      std::function<void()> action) {
        CLI::App* sub = app.add_subcommand(name, description);
        // A subcommand's callback runs before its parent's: the innermost command wins.
        sub->callback([&run, action] {
            if (!run) run = action;
        });
        return sub;
    };
    command("status", "Show the proxy service, the settings and the server's figures", ShowStatus);
    command("install", "Install the proxy service (it starts with the machine)", InstallService);
    command("uninstall", "Stop and remove the proxy service", UninstallService);
    command("start", "Start the proxy service", StartService);
    command("stop", "Stop the proxy service", StopService);
    command("restart", "Stop and start the proxy service", RestartService);
    command("accounts", "List the proxy accounts", ListAccounts);

    CLI::App* account = app.add_subcommand("account", "Add, modify or delete a proxy account");
    account->require_subcommand(1);
    AccountRequest request;
    AddAccountOptions(*account->add_subcommand("add", "Add an account")->callback([&run, &request] {
        run = [&request] { AddAccount(request); };
    }),
                      request, false);
    CLI::App* modify = account->add_subcommand("modify", "Change an account's password or limits");
    modify->callback([&run, &request] {
        request.newPassword = request.newPassword || request.passwordStdin;
        run = [&request] { ModifyAccount(request); };
    });
    AddAccountOptions(*modify, request, true);
    CLI::App* remove = account->add_subcommand("delete", "Delete an account");
    remove->add_option("NAME", request.name, "The account's user name")->required();
    remove->callback([&run, &request] { run = [&request] { DeleteAccount(request.name); }; });

    std::string onOrOff, port, file;
    command("anonymous", "Allow or refuse clients without an account",
            [&onOrOff] { SetAnonymous(onOrOff); })
        ->add_option("SWITCH", onOrOff, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    command("port", "Set the proxy's listen port (the server uses it after a restart)",
            [&port] { SetListenPort(port); })
        ->add_option("PORT", port, "1-65535, not the control channel's port")
        ->required();

    CLI::App* networks = command("networks", "List or change the allowed client networks",
                                 [] { ChangeNetworks("list", {}); });
    networks->require_subcommand(0, 1);
    std::vector<std::string> entries;
    const auto networksCommand = [&](const char* name, const char* description, bool many,
                                     bool needsEntries) {
        CLI::App* sub = networks->add_subcommand(name, description);
        sub->callback([&run, &entries, action = std::string(name)] {
            run = [&entries, action] { ChangeNetworks(action, entries); };
        });
        if (!needsEntries) return;
        auto* option =
            sub->add_option("CIDR", entries, "A network, e.g. 192.168.0.0/16 or fd00::/8");
        option->required();
        if (!many) option->expected(1);
    };
    networksCommand("list", "List the allowed client networks", false, false);
    networksCommand("set", "Replace the list", true, true);
    networksCommand("add", "Add one network", false, true);
    networksCommand("remove", "Remove one network", false, true);
    networksCommand("defaults", "Restore the default list", false, false);

    RecordFilter filter;
    const auto recordOptions = [&filter](CLI::App* sub, bool history) {
        AddOptional(*sub, "--since", filter.since,
                    "From this time on (YYYY-MM-DD[ HH:MM[:SS]] or @seconds)");
        AddOptional(*sub, "--until", filter.until,
                    "Up to this time (a day alone: through its end)");
        if (history) {
            AddOptional(*sub, "--user", filter.user, "Only this user's requests");
            AddOptional(*sub, "--ip", filter.ip, "Only this client address (IPv4 or IPv6)");
        }
        AddOptional(*sub, "--grep", filter.grep,
                    "Only records with this text in a column (any case)");
        AddOptional(*sub, "--limit", filter.limit, "At most this many records, the newest");
        sub->add_flag("--csv", filter.csv, "Print CSV, as the console exports it");
    };
    recordOptions(command("alarms", "List the server's alarms, newest first",
                          [&filter] { ListAlarms(filter); }),
                  false);
    recordOptions(command("history", "List the access history, newest first",
                          [&filter] { ListHistory(filter); }),
                  true);
    command("connections", "List the server's live client connections, the fastest first",
            ListConnections);
    CLI::App* disconnect = app.add_subcommand("disconnect", "End live client connections at once");
    disconnect->require_subcommand(1);
    std::string target;
    for (const auto& [form, by, meaning] :
         {std::tuple{"id", control::DisconnectBy::kId, "The connection with this id"},
          std::tuple{"user", control::DisconnectBy::kUser, "Every connection of this account"},
          std::tuple{"ip", control::DisconnectBy::kIp, "Every connection from this address"}}) {
        CLI::App* sub = disconnect->add_subcommand(form, meaning);
        sub->add_option("VALUE", target, "The id, account name or address")->required();
        sub->callback(
            [&run, &target, by] { run = [&target, by] { DisconnectClients(by, target); }; });
    }
    std::string trafficAccount;
    command("traffic", "An account's traffic per day, the last 90 days",
            [&trafficAccount] { ShowTraffic(trafficAccount); })
        ->add_option("NAME", trafficAccount, "The account's user name")
        ->required();
    command("backup", "Copy main.db to FILE (consistent while the server runs; mode 0600)",
            [&file] { BackupDatabase(file); })
        ->add_option("FILE", file, "The backup file")
        ->required();
    command("restore", "Replace main.db by a checked backup, keeping the old one beside it",
            [&file] { RestoreDatabase(file); })
        ->add_option("FILE", file, "The backup file")
        ->required();

    try {
        app.parse(argc, argv);
        if (filter.csv && options.json) throw CLI::ExcludesError("--csv", "--json");
    } catch (const CLI::ParseError& error) {
        const int status = app.exit(error);
        return status == 0 ? kExitDone : kExitUsage;
    }
    if (verbose) FLAGS_minloglevel = google::GLOG_INFO;
    DatabaseLock::SetWaitLimit(
        std::chrono::milliseconds(static_cast<int64_t>(lockWaitSeconds * 1000)));
    SetDefaultBusyTimeoutMs(static_cast<int>(lockWaitSeconds * 1000));
    options.serviceLimitMs = static_cast<uint32_t>(serviceWaitSeconds * 1000);
    options.controlPort = ControlPort();
    OverrideModuleDirectory(options.installDir);
    MQClientSingleton::instance()->SetPort(options.controlPort);
    MQClientSingleton::instance()->SetRunningCheck(
        [] { return ProxyCtrl().QueryStatus() == kServiceRunning; });

    try {
        Prepare();
        run();
        return kExitDone;
    } catch (const Refusal& refusal) {
        std::cerr << "torvoproxyctl: " << refusal.what() << '\n';
    } catch (const CppSQLite3Exception& error) {
        std::cerr << "torvoproxyctl: " << error.errorMessage() << '\n';
    } catch (const std::exception& error) {
        std::cerr << "torvoproxyctl: " << error.what() << '\n';
    }
    return kExitRefused;
}
