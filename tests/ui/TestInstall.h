#pragma once
// A throw-away install directory: main.db from the schema, and the console probe run inside it.
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <optional>
#include <string>

class TestInstall {
public:
    TestInstall();
    const QString& Dir() const { return path_; }
    QString RuntimeDir() const { return path_ + "/run"; }  // the probe's single-instance lock
    void MakeDatabase(const std::map<std::string, std::string>& configuration = {});
    std::optional<std::string> Configuration(const std::string& key) const;  // nullopt: no row
    // Standard output of the probe run with `arguments`; "timed out" when it did not end.
    QString RunProbe(const QStringList& arguments) const;

private:
    QTemporaryDir dir_;
    QString path_;
};
