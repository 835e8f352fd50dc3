// TorvoProxy console.
#include <glog/logging.h>

#include "ui/CMainUIApp.h"

int main(int argc, char** argv) {
    google::InitGoogleLogging(argv[0]);
    CMainUIApp app(argc, argv);
    app.InitInstance();
    return 0;
}
