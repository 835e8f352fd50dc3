// Started by the Common tests as a separate process: "paths", "increment DB N" or "hold DB".
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Common/Database.h"
#include "Common/Global.h"
#include "Common/Paths.h"
#include "Common/SystemConf.h"

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "paths") {  // the paths found beside this program, then the settings loaded there
        SystemConf& conf = SystemConf::instance();
        const int found = conf.load();
        std::printf("%s\n%s\n%s\n%d %u %s\n", GetModuleDirectory().c_str(), GetMainDbPath().c_str(),
                    GetVersionFilePath().c_str(), found, conf.listenPort,
                    conf.serverVersion.c_str());
        return 0;
    }
    const auto increment = [](CppSQLite3DB& db) {  // the configuration key 'counter', plus one
        db.execDML("PRAGMA synchronous=OFF");      // speed only; the lock is under test
        const int value =
            db.execQuery("select value from configuration where key='counter'").getIntField(0);
        db.execDML(SqlFormat("update configuration set value='%d' where key='counter'", value + 1)
                       .c_str());
    };
    if (mode == "increment" && argc == 4) {
        for (int i = std::atoi(argv[3]); i > 0; --i)
            if (!UseDatabase(increment, DbFailure::kLogError, {argv[2], 0})) return 1;
        return 0;
    }
    if (mode == "hold" && argc == 3) {  // takes DB's lock, says so and waits to be killed
        DatabaseLock& lock = Global::instance().dbLock();
        lock.lock(argv[2]);
        std::lock_guard<DatabaseLock> guard(lock, std::adopt_lock);
        std::printf("held %d\n", static_cast<int>(getpid()));
        std::fflush(stdout);
        sleep(60);  // bounded: the test kills us long before
    }
    return mode == "hold" ? 0 : 2;
}
