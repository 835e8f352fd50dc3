#include "service/DatabaseFiles.h"

#include <fcntl.h>
#include <glog/logging.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "Common/DatabaseLock.h"
#include "service/UniqueFd.h"

void PrepareDatabaseFiles(const std::string& program) {
    if (program.empty() || program[0] != '/') return;
    const std::filesystem::path folder = std::filesystem::path(program).parent_path();
    struct stat database {};
    if (::lstat((folder / kDatabaseFileName).c_str(), &database) != 0 ||
        !S_ISREG(database.st_mode)) {
        return;
    }
    for (const char* name : {kJournalFileName, kDatabaseLockName}) {
        UniqueFd made(::open((folder / name).c_str(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                             database.st_mode & 0600));
        if (!made.valid()) continue;  // there already (or not makeable: the start tells)
        if (::fchown(made.get(), database.st_uid, database.st_gid) != 0) {
            PLOG(WARNING) << "cannot give " << (folder / name).string() << " to main.db's owner";
        }
    }
}
