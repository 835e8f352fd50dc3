// TorvoProxy console.
#include "ui/CMainUIApp.h"
#include "ui/ConsoleLogging.h"

int main(int argc, char** argv) {
    SetUpConsoleLogging(argv[0]);
    if (!CMainUIApp::PrepareDisplay()) return CMainUIApp::kNoDisplayStatus;
    CMainUIApp app(argc, argv);
    app.InitInstance();
    return 0;
}
