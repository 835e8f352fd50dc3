#pragma once
// Tells a running server to read its configuration from main.db again ("applyconf"), on the
// link worker so the window thread never waits on the control channel. The reply and the
// result are not used: a stopped server reads the database when it next starts.
void SendApplyConf();
