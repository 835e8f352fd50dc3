// TorvoProxyServer: the proxy server the console administers.
//   TorvoProxyServer [-s] [--listen-port N] [--control-port N]
//   TorvoProxyServer --prepare-database PATH [--language CODE]
// "-s" runs it as a service (systemd, or the console's local backend); without it, it runs in
// the foreground. Logs go to standard error. The ports may also come from TORVO_LISTEN_PORT
// and TORVO_CONTROL_PORT (tests); the proxy port is otherwise main.db's listen_port.
// "--prepare-database" makes or upgrades a main.db for the install scripts (the tables and
// the configuration rows with their defaults, the language row from CODE when it is missing)
// and exits.
#include <glog/logging.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <asio.hpp>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>

#include "Common/Configuration.h"
#include "Common/Database.h"
#include "server/DatabaseWorker.h"
#include "server/ProxyServer.h"
#include "server/ServerSettings.h"
#include "server/ServiceMode.h"

namespace {

std::optional<uint16_t> Port(const char* text) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (*end != '\0' || value == 0 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

int Usage() {
    std::cerr << "usage: TorvoProxyServer [-s] [--listen-port N] [--control-port N]\n"
                 "       TorvoProxyServer --prepare-database PATH [--language CODE]\n";
    return 2;
}

bool ReadSettings(ServerSettings& settings, std::string& error) {
    try {
        DatabaseSession session;
        settings = LoadServerSettings(session.db());
        session.close();
        return true;
    } catch (const CppSQLite3Exception& failure) {
        error = failure.errorMessage();
        return false;
    }
}

int PrepareDatabase(int argc, char** argv) {
    Configuration fallback;
    if (argc == 5 && std::strcmp(argv[3], "--language") == 0) {
        fallback.language = argv[4];
    } else if (argc != 3) {
        return Usage();
    }
    DatabaseOptions options;
    options.path = argv[2];
    return UseDatabase([&](CppSQLite3DB& db) { PrepareMainDb(db, fallback); }, DbFailure::kLogError,
                       options)
               ? 0
               : 1;
}

}  // namespace

int main(int argc, char** argv) {
    FLAGS_logtostderr = true;
    google::InitGoogleLogging(argv[0]);
    ::signal(SIGPIPE, SIG_IGN);
    // Every client holds a descriptor or two: allow as many as this account may have.
    if (rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    // Everything it creates (a fresh main.db, its journal, the service files) is private: main.db
    // holds the accounts' password digests.
    ::umask(077);
    if (argc > 1 && std::strcmp(argv[1], "--prepare-database") == 0) {
        return PrepareDatabase(argc, argv);
    }

    bool serviceFlag = false;
    ServerPorts ports;
    ports.listen = Port(std::getenv("TORVO_LISTEN_PORT"));
    if (auto control = Port(std::getenv("TORVO_CONTROL_PORT"))) ports.control = *control;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-s") {
            serviceFlag = true;
        } else if ((argument == "--listen-port" || argument == "--control-port") && i + 1 < argc) {
            const auto port = Port(argv[++i]);
            if (!port) return Usage();
            if (argument == "--listen-port") {
                ports.listen = *port;
            } else {
                ports.control = *port;
            }
        } else {
            return Usage();
        }
    }

    ServiceMode mode(ServiceMode::Detect(serviceFlag));
    if (std::string error; !mode.Begin(error)) {
        LOG(ERROR) << "cannot run as a service: " << error;
        mode.Failed("cannot run as a service: " + error);
        return 1;
    }

    // Without its accounts and networks the server could admit nobody (or the wrong clients):
    // it fails its start with the reason instead of looking ready.
    ServerSettings settings;
    if (std::string error; !ReadSettings(settings, error)) {
        const std::string reason = "cannot read main.db: " + error;
        LOG(ERROR) << reason;
        mode.Failed(reason);
        return 1;
    }

    DatabaseWorker database;
    // One thread runs the loop and alone touches the sockets, so their per-descriptor locks
    // are left out; the scheduler keeps its lock (the database thread posts results to it).
    asio::io_context io(ASIO_CONCURRENCY_HINT_UNSAFE_IO);
    ProxyServer server(io, database, std::move(settings), ports);
    if (!server.Start()) {
        mode.Failed(server.StartError());
        return 1;
    }

    asio::signal_set signals(io, SIGTERM, SIGINT);
    signals.async_wait([&](const asio::error_code& error, int signal) {
        if (error) return;
        LOG(WARNING) << "signal " << signal << ": stopping";
        mode.Stopping();
        server.Stop();
    });
    mode.Ready();
    io.run();
    return 0;
}
