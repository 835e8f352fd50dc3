// Started by the Common tests as a separate process: "paths" or "increment DB N".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Common/Database.h"
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
    return 2;
}
