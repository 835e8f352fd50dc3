#include "ui/pages/plumbing/PasswordWorker.h"

LinkWorker& ThePasswordWorker() {
    static LinkWorker worker;
    return worker;
}
