// Started by the Common tests as a separate process: "increment DB N".
#include <cstdlib>
#include <string>

#include "Common/Database.h"

int main(int argc, char** argv) {
    const auto increment = [](CppSQLite3DB& db) {  // the configuration key 'counter', plus one
        db.execDML("PRAGMA synchronous=OFF");      // speed only; the lock is under test
        const int value =
            db.execQuery("select value from configuration where key='counter'").getIntField(0);
        db.execDML(SqlFormat("update configuration set value='%d' where key='counter'", value + 1)
                       .c_str());
    };
    if (argc == 4 && std::string(argv[1]) == "increment") {
        for (int i = std::atoi(argv[3]); i > 0; --i)
            if (!UseDatabase(increment, DbFailure::kLogError, {argv[2], 0})) return 1;
        return 0;
    }
    return 2;
}
