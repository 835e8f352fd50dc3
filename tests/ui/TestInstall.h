#pragma once
// A throw-away install directory: main.db from the schema, and the console probe run inside it.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <map>
#include <optional>
#include <string>

#include "tests/support/ScopedOverrides.h"
#include "tests/support/TempDir.h"

class TestInstall {
public:
    TestInstall();
    const QString& Dir() const { return path_; }
    QString RuntimeDir() const { return path_ + "/run"; }  // the probe's single-instance lock
    std::string DbPath() const { return (path_ + "/main.db").toStdString(); }
    void MakeDatabase(const std::map<std::string, std::string>& configuration = {});
    std::string Configuration(const std::string& key) const;  // "<none>": no row
    // Standard output of the probe run with `arguments`; "timed out" when it did not end.
    QString RunProbe(const QStringList& arguments) const;
    // The probe started with `arguments` and `extra` environment, not waited for.
    void StartProbe(QProcess& probe, const QStringList& arguments,
                    const QProcessEnvironment& extra = {}) const;

private:
    test::TempDir dir_;
    QString path_ = QString::fromStdString(dir_.path());
};

// The console's windows in these tests read no system service.
struct LocalServiceBackend : ::testing::Environment {
    void SetUp() override { backend.emplace("TORVO_SERVICE_BACKEND", "local"); }
    void TearDown() override { backend.reset(); }
    std::optional<test::ScopedEnv> backend;
};
inline ::testing::Environment* const kLocalServiceBackend =
    ::testing::AddGlobalTestEnvironment(new LocalServiceBackend);
