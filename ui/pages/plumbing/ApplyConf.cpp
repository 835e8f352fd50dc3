#include "ui/pages/plumbing/ApplyConf.h"

#include <atomic>
#include <cstdint>
#include <string>

#include "server_link/LinkWorker.h"
#include "server_link/MQClient.h"

void SendApplyConf() {
    // Each change gets its own key: one still waiting must not swallow a later change's send.
    static std::atomic<uint64_t> sent{0};
    TheLinkWorker().Post("applyconf/" + std::to_string(++sent), [] {
        std::string reply;
        MQClientSingleton::instance()->ApplyConf(reply);
    });
}
