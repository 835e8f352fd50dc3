#pragma once
// A file an export or a backup writes: created or replaced for this account only, never
// through a link, never in a folder that another account may write to.
#include <string>
#include <string_view>

class ExportFile {
public:
    ExportFile() = default;
    ExportFile(const ExportFile&) = delete;
    ExportFile& operator=(const ExportFile&) = delete;
    ~ExportFile();

    // False, with a reason in Error(), when the folder is open to other accounts, `path` is a
    // link or not a regular file, or it cannot be created.
    bool Open(const std::string& path);
    bool Write(std::string_view bytes);
    // True when every write and the close succeeded.
    bool Close();

    const std::string& Error() const { return error_; }

private:
    bool Fail(const std::string& what);

    int fd_ = -1;
    std::string error_;
};
