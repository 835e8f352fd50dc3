#pragma once
// The settings and account page tests' private main.db, SQL on it, and the stores as new.
#include <string>
#include <vector>

#include "Common/SystemConf.h"
#include "Common/UserConf.h"
#include "tests/support/TestDb.h"
#include "tests/ui/pages/PageTestEnv.h"
#include "ui/pages/tabs/CSettingDlg.h"
#include "ui/res/Strings.h"

// A tip with the string `id`.
template <typename Id>
QString Tip(Id id, MessageIcon icon = MessageIcon::Information) {
    return Told(res::Str(id), icon);
}

class SettingsTest : public PageTest {
protected:
    using Lines = std::vector<std::string>;

    void SetUp() override {
        PageTest::SetUp();
        SystemConf& system = SystemConf::instance();
        system.listenPort = 8089;
        system.torvoAgentAllow = 1;
        system.language = "en";
        UserConf::instance().anonymousAllow = 1;
        UserConf::instance().accounts.clear();
        // Ports other programs on this machine listen on are not the tests' business.
        CSettingDlg::SetPortHolderFinder([](uint16_t) { return PortHolder{}; });
    }
    void TearDown() override { CSettingDlg::SetPortHolderFinder(nullptr); }
    void Sql(const std::string& sql) const { install_.Sql(sql); }
    Lines Rows(const std::string& sql) const { return install_.Rows(sql); }
    // What a Save left in main.db, once its check of the port came back.
    std::string Value(const std::string& key) const {
        Settle();
        return install_.Value(key);
    }
    // What the server received since the last call, once the link worker has sent it all.
    std::string Sent() {
        Settle();
        return PageTest::Sent();
    }
    QStringList Shown() {
        Settle();
        const QStringList all = sink_.Shown();
        return all.mid(std::exchange(shownSeen_, all.size()));
    }

    test::ScopedInstall install_{
        "insert into configuration values ('listen_port', '8123'), ('lang', 'en'),"
        " ('torvoagent_allow', '1'), ('anonymous_allow', '1');"};
    qsizetype shownSeen_ = 0;
};
