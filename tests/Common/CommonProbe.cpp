// Started by the Common tests as a separate process.
//   common_probe paths            prints the module directory and the files beside it
//   common_probe load             loads Version and SystemConf and prints what they hold
//   common_probe increment DB N   N read-increment-write cycles of configuration key 'counter'
//   common_probe hold             takes the database lock, says "held", waits to be killed
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "Common/Database.h"
#include "Common/Global.h"
#include "Common/Paths.h"
#include "Common/SystemConf.h"
#include "Common/Version.h"

namespace {

int PrintPaths() {
    std::printf("%s\n%s\n%s\n%s\n", GetModuleDirectory().c_str(), GetMainDbPath().c_str(),
                GetVersionFilePath().c_str(), GetModuleFilePath("busy.gif").c_str());
    return 0;
}

int Load() {
    Version::instance().load();
    SystemConf& conf = SystemConf::instance();
    const int found = conf.load();
    std::printf("%d %u %d %s %s %s\n", found, conf.listenPort, conf.torvoAgentAllow,
                conf.language.c_str(), conf.serverVersion.c_str(),
                Version::instance().version.c_str());
    return 0;
}

int Increment(const char* dbPath, int cycles) {
    for (int i = 0; i < cycles; ++i) {
        const bool done = UseDatabase(
            [](CppSQLite3DB& db) {
                db.execDML("PRAGMA synchronous=OFF");  // speed only; the lock is under test
                CppSQLite3Query query =
                    db.execQuery("select value from configuration where key='counter'");
                const int value = query.getIntField("value");
                query.finalize();
                db.execDML(
                    SqlFormat("update configuration set value='%d' where key='counter'", value + 1)
                        .c_str());
            },
            DbFailure::kLogError, DatabaseOptions{dbPath, 0});
        if (!done) return 1;
    }
    return 0;
}

int Hold() {
    std::lock_guard<DatabaseLock> guard(Global::instance().dbLock());
    std::printf("held\n");
    std::fflush(stdout);
    sleep(60);  // bounded: the test kills us long before
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "paths") return PrintPaths();
    if (mode == "load") return Load();
    if (mode == "increment" && argc == 4) return Increment(argv[2], std::atoi(argv[3]));
    if (mode == "hold") return Hold();
    std::fprintf(stderr, "usage: common_probe paths|load|increment DB N|hold\n");
    return 2;
}
