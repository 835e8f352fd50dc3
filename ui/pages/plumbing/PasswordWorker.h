#pragma once
// Making a password's strong hash takes tens of milliseconds: the pages make it on this
// worker's thread, never on the window thread, and get it back through a LinkReplies on it.
#include "server_link/LinkWorker.h"

LinkWorker& ThePasswordWorker();
