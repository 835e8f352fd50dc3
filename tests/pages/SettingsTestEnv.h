#pragma once
// What the settings and account page tests share: a fresh main.db of the schema in a private
// install directory, plain SQL on it, and the two stores as a new console has them.
#include <QTemporaryDir>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Common/CppSQLite3DB.h"
#include "Common/Database.h"
#include "Common/Paths.h"
#include "Common/SystemConf.h"
#include "Common/UserConf.h"
#include "tests/pages/PageTestEnv.h"
#include "ui/res/Strings.h"

class SettingsTest : public PageTest {
protected:
    using Lines = std::vector<std::string>;

    void SetUp() override {
        PageTest::SetUp();
        ASSERT_TRUE(dir_.isValid());
        OverrideModuleDirectory(dir_.path().toStdString());
        std::ostringstream schema;
        schema << std::ifstream(TORVO_SCHEMA_FILE).rdbuf();
        Sql(schema.str() +
            "insert into configuration values ('listen_port', '8123'), ('lang', 'en'),"
            " ('torvoagent_allow', '1'), ('anonymous_allow', '1');");
        SystemConf& system = SystemConf::instance();
        system.listenPort = 8089;
        system.torvoAgentAllow = 1;
        system.language = "en";
        UserConf::instance().anonymousAllow = 1;
        UserConf::instance().accounts.clear();
    }
    void TearDown() override {
        OverrideModuleDirectory("");
        SetDefaultBusyTimeoutMs(CppSQLite3DB::kDefaultBusyTimeoutMs);
        PageTest::TearDown();
    }
    std::string DbPath() const { return (dir_.path() + "/main.db").toStdString(); }
    void Sql(const std::string& sql) const {
        CppSQLite3DB db;
        db.open(DbPath().c_str());
        db.execDML(sql.c_str());
    }
    // Rows of a query as "a|b|c".
    Lines Rows(const std::string& sql) const {
        CppSQLite3DB db;
        db.open(DbPath().c_str());
        Lines rows;
        for (CppSQLite3Query q = db.execQuery(sql.c_str()); !q.eof(); q.nextRow()) {
            std::string row;
            for (int i = 0; i < q.numFields(); ++i)
                row += (i > 0 ? "|" : "") + std::string(q.getStringField(i, "NULL"));
            rows.push_back(row);
        }
        return rows;
    }
    std::string Value(const std::string& key) const {
        const Lines rows = Rows("select value from configuration where key='" + key + "'");
        return rows.empty() ? "<none>" : rows.front();
    }
    // A message as the capturing sink records it: "text|caption|icon|1".
    static QString Tip(int id, MessageIcon icon = MessageIcon::Information) {
        return QString("%1|%2|%3|1")
            .arg(res::Str(id), res::Str(res::IDS_TIP_CAPTION))
            .arg(int(icon));
    }
    static QString Failed() {
        return QString("Operation failed|Tip|%1|1").arg(int(MessageIcon::Warning));
    }
    // What the server received since the last call, once the link worker has sent it all.
    std::string Sent() {
        Settle();
        return PageTest::Sent();
    }
    // Messages shown since the last call.
    QStringList Shown() {
        const QStringList all = sink_.Shown();
        return all.mid(std::exchange(shownSeen_, all.size()));
    }

    QTemporaryDir dir_;
    qsizetype shownSeen_ = 0;
};
