// Every command against a real main.db and, where it matters, a real server on loopback.
#include <json/json.h>

#include "Common/DatabaseLock.h"
#include "Common/PasswordDigest.h"
#include "tests/ctl/CtlHarness.h"
#include "tests/fakes/ScriptedChannelServer.h"

namespace ctl_test {
namespace {

Json::Value Parse(const std::string& text) {
    Json::Value value;
    std::istringstream in(text);
    in >> value;
    return value;
}

TEST_F(CtlTest, TheServiceFromInstallToUninstallWithTheServersFigures) {
    Outcome run = Ctl("start");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "torvoproxyctl: The proxy service is not installed; install it first "
              "(torvoproxyctl install).\n");
    EXPECT_EQ(Parse(Ctl("status --json").out)["service"]["state"], "not-installed");
    EXPECT_EQ(Ctl("install").out, "Proxy service: stopped\n");
    run = Ctl("--timeout 20 start");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Proxy service: running\n");

    const Json::Value status = Parse(Ctl("status --json").out);
    EXPECT_EQ(status["service"]["state"], "running");
    EXPECT_EQ(status["running_listen_port"].asInt(), listenPort_);
    EXPECT_TRUE(status["statistics"].isObject()) << status;
    EXPECT_NE(Ctl("status").out.find("Proxy service listen port: " + std::to_string(listenPort_)),
              std::string::npos);

    // A change the running server is told of; a port change asks for a restart.
    run = Ctl("anonymous on");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");  // the server confirmed "applyconf"
    const uint16_t next = test::FreePort();
    run = Ctl("port " + std::to_string(next));
    EXPECT_EQ(run.out,
              "Saved successfully\nIn order for the changed configuration to take effect, "
              "pls restart the proxy engine.\n");
    run = Ctl("--timeout 20 restart");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Parse(Ctl("status --json").out)["running_listen_port"].asInt(), next);

    EXPECT_EQ(Ctl("--timeout 20 stop").out, "Proxy service: stopped\n");
    EXPECT_EQ(Ctl("uninstall").out, "Proxy service: not installed\n");
}

TEST_F(CtlTest, AccountsAreAddedModifiedAndDeletedAsTheConsoleStoresThem) {
    Outcome run =
        Ctl("account add alice --password-stdin --expires 2030-06-30 --quota-mb 100 "
            "--bandwidth-kbs 64",
            "s3cret\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Added successfully\n");
    EXPECT_EQ(Rows("select username, password from accounts"),
              std::vector<std::string>{"alice|" + std::to_string(PasswordDigest("s3cret"))});
    Json::Value list = Parse(Ctl("accounts --json").out);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["name"], "alice");
    EXPECT_EQ(list[0]["state"], "enabled");
    EXPECT_EQ(list[0]["last_day"], "2030-06-30");
    EXPECT_EQ(list[0]["monthly_quota_bytes"].asUInt64(), 100u << 20);
    EXPECT_EQ(list[0]["bandwidth_bytes_per_second"].asUInt64(), 64u << 10);

    run = Ctl("account modify alice --password-stdin --no-quota --disable", "other\r\n");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Rows("select password from accounts"),
              std::vector<std::string>{std::to_string(PasswordDigest("other"))});
    list = Parse(Ctl("accounts --json").out);
    EXPECT_EQ(list[0]["state"], "disabled");
    EXPECT_TRUE(list[0]["monthly_quota_bytes"].isNull());
    EXPECT_EQ(list[0]["last_day"], "2030-06-30");  // untouched
    const std::string table = Ctl("accounts").out;
    EXPECT_TRUE(table.starts_with("User name  Create time")) << table;
    EXPECT_NE(table.find("Disabled  2030-06-30  0 B / unlimited"), std::string::npos) << table;

    EXPECT_EQ(Ctl("account delete alice").out, "Deleted successfully\n");
    EXPECT_TRUE(Rows("select * from accounts").empty());
}

// Bad input is refused with its reason on standard error and exit status 1, before anything
// is written.
TEST_F(CtlTest, BadInputIsRefusedAndChangesNothing) {
    ASSERT_EQ(Ctl("account add bob --password-stdin", "pw\n").status, 0);
    ASSERT_EQ(Ctl("status").status, 0);  // rows a reader adds where missing, as the console does
    const std::vector<std::string> before = Everything();
    const struct {
        const char* arguments;
        const char* input;
        const char* message;
    } cases[] = {
        {"account modify nobody --disable", "", "There is no account named \"nobody\"."},
        {"account delete nobody", "", "There is no account named \"nobody\"."},
        {"account add bob --password-stdin", "pw\n", "The user name has been occupied"},
        {"account add carol --password-stdin --expires 2026-02-30", "pw\n",
         "\"2026-02-30\" is not a date (YYYY-MM-DD)."},
        {"account modify bob --quota-mb 0", "",
         "--quota-mb must be a whole number from 1 to "
         "2147483647."},
        {"account add 'a:b' --password-stdin", "pw\n",
         "The user name can not contain \":\" or control characters (a name with \":\" can "
         "never log in over HTTP)."},
        {"account add carol --password-stdin", "\n", "The password can not be empty"},
        {"account add carol", "pw\n",
         "Give the password on standard input with --password-stdin, or run on a terminal to "
         "be asked for it."},
        {"port 70000", "", "Please enter an integer between 1 and 65535 as the listen port."},
        {"networks add 10.1.0.0/8", "",
         "Line 1, \"10.1.0.0/8\": the address has bits set beyond its prefix; did you mean "
         "10.0.0.0/8?"},
        {"networks remove 192.0.2.0/24", "", "192.0.2.0/24 is not in the list."},
        {"alarms --since yesterday", "",
         "\"yesterday\" is not a time (YYYY-MM-DD, \"YYYY-MM-DD HH:MM[:SS]\" or @seconds of "
         "Unix time)."},
    };
    for (const auto& c : cases) {
        const Outcome run = Ctl(c.arguments, c.input);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_EQ(run.err, std::string("torvoproxyctl: ") + c.message + "\n") << c.arguments;
        EXPECT_EQ(Everything(), before) << c.arguments;
    }
    // The control channel's own port, as the server is told to use it.
    const Outcome run = Ctl("port " + std::to_string(controlPort_));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("is the control channel's own port"), std::string::npos) << run.err;
    EXPECT_EQ(Everything(), before);
    // Usage errors: exit status 2.
    for (const char* usage :
         {"", "frobnicate", "account", "anonymous maybe", "alarms --csv --json"})
        EXPECT_EQ(Ctl(usage).status, 2) << usage;
    EXPECT_EQ(Ctl("account add --help").status, 0);
}

TEST_F(CtlTest, ALockedMainDbIsReportedNotWaitedForever) {
    const std::vector<std::string> before = Everything();
    test::LockHolder holder(DatabaseLockPathFor(Db()));
    ASSERT_TRUE(holder.held());
    const Outcome run = Ctl("--lock-wait 0.3 account add carol --password-stdin", "pw\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("torvoproxyctl: main.db (" + Db() + ") cannot be used: "),
              std::string::npos)
        << run.err;
    EXPECT_EQ(Everything(), before);
}

TEST_F(CtlTest, SettingsAndNetworks) {
    EXPECT_EQ(Ctl("anonymous on").status, 0);
    EXPECT_EQ(Rows("select value from configuration where key='anonymous_allow'"),
              std::vector<std::string>{"1"});
    EXPECT_EQ(Ctl("port 8123").status, 0);
    EXPECT_EQ(Rows("select value from configuration where key='listen_port'"),
              std::vector<std::string>{"8123"});
    EXPECT_EQ(Ctl("networks set 10.0.0.0/8 ::1").out, "10.0.0.0/8\n::1/128\n");
    EXPECT_EQ(Ctl("networks add 192.168.1.7").out, "10.0.0.0/8\n::1/128\n192.168.1.7/32\n");
    EXPECT_EQ(Ctl("networks add 10.0.0.0/8").out, "10.0.0.0/8 is already in the list.\n");
    EXPECT_EQ(Ctl("networks remove ::1/128").out, "10.0.0.0/8\n192.168.1.7/32\n");
    EXPECT_EQ(Rows("select value from configuration where key='allowed_networks'"),
              std::vector<std::string>{"10.0.0.0/8,192.168.1.7/32"});
    const Outcome open = Ctl("networks set 0.0.0.0/0");
    EXPECT_EQ(open.status, 0);
    EXPECT_NE(open.err.find("this is an open proxy"), std::string::npos);
    EXPECT_EQ(Ctl("networks remove 0.0.0.0/0").err,
              "torvoproxyctl: The list is empty: no client could connect.\n");
    EXPECT_EQ(Parse(Ctl("networks --json").out), Parse("[\"0.0.0.0/0\"]"));
    EXPECT_EQ(Ctl("networks defaults").status, 0);
    EXPECT_EQ(Parse(Ctl("status --json").out)["allowed_networks"][0], "127.0.0.0/8");
}

TEST_F(CtlTest, RecordsAreFilteredAndPrintedLikeTheConsolesPages) {
    test::ScopedTimeZone zone("UTC");
    Sql("insert into alarms values ('server', 'started', 1767225600),"  // 2026-01-01 0:00
        " ('203.0.113.9', '=cmd|calc', 1767312000),"                    // 2026-01-02
        " ('server', 'Stopped, by \"admin\"', 1767398400);"             // 2026-01-03
        "insert into history (user, ip, url, time, ipv6) values"
        " ('bob', 3232235777, 'example.org:443', 1767225600, null),"
        " ('amy', -1062731519, 'a.example', 1767312000, null), ('bob', 167772161, 'b.example', "
        "1767398400, null), ('cy', 0, 'c.example', 1767398401, '2001:db8::1');");
    EXPECT_EQ(Ctl("alarms --since 2026-01-02 --until 2026-01-02 --csv").out,
              "Time,Source,Message\r\n2026-1-2 0:0:0,203.0.113.9,\"'=cmd|calc\"\r\n");
    EXPECT_EQ(Ctl("alarms --grep STOPPED --csv").out,
              "Time,Source,Message\r\n2026-1-3 0:0:0,server,\"Stopped, by \"\"admin\"\"\"\r\n");
    EXPECT_EQ(Ctl("alarms --limit 1").out,
              "Time            Source  Message\n2026-1-3 0:0:0  server  Stopped, by \"admin\"\n");
    // The address column holds the 32-bit pattern signed or not.
    const Json::Value bob = Parse(Ctl("history --user bob --json").out);
    ASSERT_EQ(bob.size(), 2u);
    EXPECT_EQ(bob[0]["url"], "b.example");
    EXPECT_EQ(bob[0]["ip"], "10.0.0.1");
    EXPECT_EQ(bob[1]["time"].asInt64(), 1767225600);
    EXPECT_EQ(bob[1]["time_text"], "2026-1-1 0:0:0");
    const Json::Value amy = Parse(Ctl("history --ip 192.168.1.1 --json").out);
    ASSERT_EQ(amy.size(), 2u);
    EXPECT_EQ(amy[0]["user"], "amy");
    EXPECT_EQ(Ctl("history --ip 300.1.1.1").status, 1);
    // An IPv6 client is found however its address is written, and not as 0.0.0.0.
    EXPECT_EQ(Ctl("history --ip 2001:DB8:0::1 --csv").out,
              "User,Source,Host,Time\r\ncy,2001:db8::1,c.example,2026-1-3 0:0:1\r\n");
    EXPECT_EQ(Ctl("history --ip 0.0.0.0 --json").out, "[]\n");
    EXPECT_EQ(Ctl("history --since @1767312000 --until '2026-01-02 23:59' --csv").out,
              "User,Source,Host,Time\r\namy,192.168.1.1,a.example,2026-1-2 0:0:0\r\n");
}

TEST_F(CtlTest, BackupWhileTheServerRunsAndRestoreOnlyACheckedFile) {
    ASSERT_EQ(Ctl("account add alice --password-stdin", "one\n").status, 0);
    ASSERT_EQ(Ctl("install").status, 0);
    ASSERT_TRUE(Started());
    const std::string backup = dir_.file("saved.db");
    Outcome run = Ctl("backup " + backup);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(test::ModeOf(backup), 0600u);
    EXPECT_EQ(test::Rows(backup, "select username from accounts"),
              std::vector<std::string>{"alice"});

    ASSERT_EQ(Ctl("account delete alice").status, 0);
    ASSERT_EQ(Ctl("account add bob --password-stdin", "two\n").status, 0);
    // A damaged copy and a database without the shared tables are refused; main.db stays.
    std::string damaged = test::ReadText(backup);
    damaged.replace(4096, 100, std::string(100, 'Z'));  // the head of the second page
    test::WriteText(dir_.file("damaged.db"), damaged);
    test::Sql(dir_.file("other.db"), "create table configuration (key text, value text)");
    test::WriteText(dir_.file("text.db"), "not a database");
    const std::vector<std::string> before = Everything();
    for (const char* bad : {"damaged.db", "other.db", "text.db", "missing.db"}) {
        run = Ctl(std::string("restore ") + bad);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_NE(run.err.find(" is not a usable backup of main.db: "), std::string::npos)
            << bad << ": " << run.err;
        EXPECT_EQ(Everything(), before) << bad;
    }

    run = Ctl("restore " + backup);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Rows("select username from accounts"), std::vector<std::string>{"alice"});
    EXPECT_EQ(Parse(Ctl("status --json").out)["service"]["state"], "running");
    // The replaced main.db is kept beside it, for this account only.
    std::string kept;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
        if (entry.path().filename().string().starts_with("main.db.before-restore-"))
            kept = entry.path();
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(test::ModeOf(kept), 0600u);
    EXPECT_EQ(test::Rows(kept, "select username from accounts"), std::vector<std::string>{"bob"});

    // A backup made before history had its IPv6 column is restored, and gains the column.
    test::Sql(backup, "alter table history drop column ipv6; pragma user_version = 0");
    run = Ctl("restore " + backup);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Rows("select count(*) from pragma_table_info('history') where name = 'ipv6'"),
              std::vector<std::string>{"1"});
}

// The running server's connections and traffic. The real server runs (that is what the
// command line checks first); its answers come from a scripted control channel.
TEST_F(CtlTest, ConnectionsDisconnectAndTrafficShowWhatTheServerAnswers) {
    for (const char* command : {"connections", "disconnect user bob", "traffic bob"}) {
        const Outcome run = Ctl(command);
        EXPECT_EQ(run.status, 1) << command;
        EXPECT_EQ(run.err,
                  "torvoproxyctl: The proxy server is not running; start it first "
                  "(torvoproxyctl start).\n")
            << command;
    }
    ASSERT_EQ(Ctl("account add alice --password-stdin", "pw\n").status, 0);
    ASSERT_EQ(Ctl("install").status, 0);
    ASSERT_TRUE(Started());
    ScriptedChannelServer channel;
    ASSERT_TRUE(channel.Start());
    const test::ScopedEnv scripted("TORVO_CONTROL_PORT", std::to_string(channel.port()));
    const test::ScopedTimeZone zone("UTC");

    channel.SetFramedReply(
        "connections",
        R"({"err_code":0,"total":5,"data":[{"id":12,"ip":"10.0.0.7","user":"alice",)"
        R"("protocol":"connect","destination":"example.org:443","since":1767225600,)"
        R"("bytes_up":2048,"bytes_down":3145728,"rate":1536},{"id":3,"ip":"::1","user":"",)"
        R"("protocol":"socks5","destination":"\u001b[2Jx:80","since":1767225661,)"
        R"("bytes_up":5,"bytes_down":0,"rate":0}]})");
    Outcome run = Ctl("connections");
    ASSERT_EQ(run.status, 0) << run.err;
    // A control character a client sent never reaches the terminal.
    EXPECT_EQ(run.out,
              "Id  User   Ip        Protocol  Destination      Since           Up       "
              "Down     Rate\n"
              "12  alice  10.0.0.7  CONNECT   example.org:443  2026-1-1 0:0:0  2.00 KB  3.00 MB  "
              "1.50 KB/s\n"
              "3          ::1       SOCKS5    ?[2Jx:80         2026-1-1 0:1:1  5 B      0 B      "
              "0 B/s\n"
              "The 2 fastest of 5 connections are shown.\n");
    const Json::Value list = Parse(Ctl("connections --json").out);
    ASSERT_EQ(list["connections"].size(), 2u);
    EXPECT_TRUE(list["connections"][1]["user"].isNull());  // anonymous
    EXPECT_EQ(list["connections"][1]["destination"], "\u001b[2Jx:80");

    // Each form is checked, sent in its plain form, and what the server closed is said.
    channel.SetFramedReply("disconnect user alice", R"({"err_code":0,"closed":2})");
    channel.SetFramedReply("disconnect id 7", R"({"err_code":0,"closed":0})");
    channel.SetFramedReply("disconnect ip ::1", R"({"err_code":0,"closed":1})");
    EXPECT_EQ(Ctl("disconnect user alice").out, "Closed 2 connection(s).\n");
    EXPECT_EQ(Ctl("disconnect id 007").out, "No connection matched; none was closed.\n");
    EXPECT_EQ(Parse(Ctl("disconnect ip 0:0::1 --json").out)["closed"].asUInt64(), 1u);
    const std::vector<std::string> sent = channel.requests();
    const struct {
        const char* arguments;
        std::string message;
    } refused[] = {
        {"disconnect id 1x",
         "\"1x\" is not a connection id (a whole number, as connections "
         "lists)."},
        {"disconnect id 18446744073709551616",
         "\"18446744073709551616\" is not a connection id (a whole number, as connections "
         "lists)."},
        {"disconnect ip 10.0.0", "\"10.0.0\" is not an IPv4 or IPv6 address."},
        {"disconnect user 'a:b'",
         "The user name can not contain \":\" or control characters (a name with \":\" can "
         "never log in over HTTP)."},
        {"traffic nobody", "There is no account named \"nobody\"."},
        {"traffic bob", "The proxy server refused the command: unknown command"},
        {"disconnect user bob", "The proxy server's answer could not be read."},
        {"disconnect user carol",
         "The proxy server did not answer on its control channel (127.0.0.1:" +
             std::to_string(channel.port()) + ")."},
    };
    channel.SetFramedReply("traffic nobody", R"({"err_code":0,"user":"nobody","data":[]})");
    channel.SetFramedReply("traffic bob", R"({"err_code":1,"err_msg":"unknown command"})");
    channel.SetFramedReply("disconnect user bob", R"({"err_code":0,"closed":"many"})");
    for (const auto& c : refused) {
        run = Ctl(c.arguments);
        EXPECT_EQ(run.status, 1) << c.arguments;
        EXPECT_EQ(run.err, "torvoproxyctl: " + c.message + "\n") << c.arguments;
    }
    // The values it refuses itself are never sent.
    const std::vector<std::string> after = channel.requests();
    EXPECT_EQ(std::vector<std::string>(after.begin() + sent.size(), after.end()),
              (std::vector<std::string>{"traffic nobody", "traffic bob", "disconnect user bob",
                                        "disconnect user carol", "disconnect user carol"}));

    channel.SetFramedReply(
        "traffic alice",
        R"({"err_code":0,"user":"alice","data":[{"day":"2026-12-06","bytes_up":1024,)"
        R"("bytes_down":1048576},{"day":"2026-12-07","bytes_up":0,"bytes_down":512}]})");
    EXPECT_EQ(Ctl("traffic alice").out,
              "Day         Up       Down     Total\n"
              "2026-12-06  1.00 KB  1.00 MB  1.00 MB\n"
              "2026-12-07  0 B      512 B    512 B\n");
    EXPECT_EQ(Parse(Ctl("traffic alice --json").out)[1]["bytes_down"].asUInt64(), 512u);
    for (const char* usage : {"disconnect", "disconnect host x", "disconnect id", "traffic"})
        EXPECT_EQ(Ctl(usage).status, 2) << usage;
}

// A socket on loopback: listening on a port of its own (`port` 0), or connected to `port`.
int LoopbackSocket(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, htons(port), {htonl(INADDR_LOOPBACK)}, {}};
    const auto* raw = reinterpret_cast<sockaddr*>(&address);
    if (port == 0 ? ::bind(fd, raw, sizeof address) != 0 || ::listen(fd, 4) != 0
                  : ::connect(fd, raw, sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    const timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
}

uint16_t PortOf(int fd) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// The real server: alice's tunnel through it is listed with its destination, the bytes it
// carried are her day's traffic, and the disconnect of its address ends it.
TEST_F(CtlTest, TheRunningServersTunnelIsListedCountedAndEndedByItsAddress) {
    ASSERT_EQ(Ctl("account add alice --password-stdin", "pw\n").status, 0);
    ASSERT_EQ(Ctl("install").status, 0);
    ASSERT_TRUE(Started());
    const int origin = LoopbackSocket(0);
    const std::string destination = "127.0.0.1:" + std::to_string(PortOf(origin));
    const int client = LoopbackSocket(listenPort_);
    ASSERT_GE(client, 0);
    const std::string request =
        "CONNECT " + destination + " HTTP/1.1\r\nProxy-Authorization: Basic YWxpY2U6cHc=\r\n\r\n";
    ASSERT_EQ(::send(client, request.data(), request.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(request.size()));
    char answer[4096] = {};
    ASSERT_GT(::recv(client, answer, sizeof answer - 1, 0), 0);
    ASSERT_TRUE(std::string(answer).starts_with("HTTP/1.1 200")) << answer;
    const int served = ::accept(origin, nullptr, nullptr);
    ASSERT_EQ(::send(served, answer, 3000, MSG_NOSIGNAL), 3000);
    size_t down = 0;
    while (down < 3000) {
        const ssize_t got = ::recv(client, answer, sizeof answer, 0);
        ASSERT_GT(got, 0);
        down += static_cast<size_t>(got);
    }

    Outcome run = Ctl("connections --json");
    ASSERT_EQ(run.status, 0) << run.err;
    const Json::Value list = Parse(run.out);
    ASSERT_EQ(list["connections"].size(), 1u) << list;
    EXPECT_EQ(list["connections"][0]["protocol"], "connect");
    EXPECT_EQ(list["connections"][0]["destination"], destination);
    EXPECT_EQ(list["connections"][0]["user"], "alice");
    Json::Value days;  // the server writes the day's bytes once a second
    EXPECT_TRUE(test::WaitUntil([&] {
        days = Parse(Ctl("traffic alice --json").out);
        return days.size() == 1 && days[0]["bytes_down"].asUInt64() >= 3000;
    })) << days;
    run = Ctl("disconnect ip 127.0.0.1");
    EXPECT_EQ(run.out, "Closed 1 connection(s).\n") << run.err;
    const ssize_t got = ::recv(client, answer, sizeof answer, 0);  // not a time-out
    EXPECT_TRUE(got == 0 || (got < 0 && errno == ECONNRESET)) << "the tunnel was ended";
    EXPECT_EQ(Parse(Ctl("connections --json").out)["total"].asUInt64(), 0u);
    for (const int fd : {client, served, origin}) ::close(fd);
}

// Like the console: root for the systemd service, else write access to the install folder.
TEST_F(CtlTest, WithoutTheRightsItSaysSoAndDoesNothing) {
    ::chmod(dir_.path().c_str(), 0711);
    const std::string nobody = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    const std::vector<std::string> before = Everything();
    {
        const test::ScopedEnv systemd("TORVO_SERVICE_BACKEND", "systemd");
        const Outcome run = Ctl("anonymous on", "", nobody);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err,
                  "torvoproxyctl: root rights are needed to control the proxy service "
                  "and change main.db; run torvoproxyctl as root (for example with "
                  "sudo).\n");
    }
    const Outcome run = Ctl("anonymous on", "", nobody);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "torvoproxyctl: write access to the install folder " + dir_.path() +
                           " and its main.db is needed; run torvoproxyctl as an account that may "
                           "write there.\n");
    EXPECT_EQ(Everything(), before);
}

TEST_F(CtlTest, MessagesInMainDbsLanguageUnlessEnglishIsAsked) {
    Sql("update configuration set value='zh' where key='lang'");
    const test::ScopedEnv language("LC_ALL", "zh_CN.UTF-8");
    EXPECT_EQ(Ctl("account delete nobody").err, "torvoproxyctl: 不存在名为“nobody”的账号。\n");
    const test::ScopedEnv english("LC_ALL", "C");
    EXPECT_EQ(Ctl("account delete nobody").err,
              "torvoproxyctl: There is no account named \"nobody\".\n");
}

}  // namespace
}  // namespace ctl_test
