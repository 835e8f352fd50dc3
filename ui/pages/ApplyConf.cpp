#include "ui/pages/ApplyConf.h"

#include <string>

#include "server_link/MQClient.h"

void SendApplyConf() {
    std::string reply;
    MQClientSingleton::instance()->ApplyConf(reply);
}
