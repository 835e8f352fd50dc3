#pragma once
// A throw-away install directory for console tests: main.db made from the schema, optional
// configuration rows, version.ini, and a way to run the console probe inside it.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <string>

class TestInstall {
public:
    TestInstall();

    const QString& Dir() const { return dirPath_; }
    QString DbPath() const { return dirPath_ + "/main.db"; }
    // The directory the probe uses as its runtime (single-instance lock) directory.
    QString RuntimeDir() const { return dirPath_ + "/run"; }

    // Makes main.db with the tables and these configuration rows (value nullopt: a NULL value).
    void MakeDatabase(const std::map<std::string, std::optional<std::string>>& rows = {});
    void WriteVersionFile(const std::string& version);
    // Value of a configuration key; nullopt when the row is missing (or NULL).
    std::optional<std::string> Configuration(const std::string& key) const;

    struct Run {
        bool finished = false;
        QString output;  // standard output of the probe
    };
    // Copies the console probe into the directory and runs it with `arguments`; waits at most
    // `timeoutMs`.
    Run RunProbe(const QStringList& arguments, int timeoutMs = 20000) const;

private:
    QTemporaryDir dir_;
    QString dirPath_;
};
