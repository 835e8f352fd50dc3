#pragma once

// The proxy service's state as the console reports it. The numbers are shared with the
// control channel (which only talks to a running server) and the dashboard's engine button.
enum ServiceState : int {
    kServiceUnknown = 0,  // not installed, or the manager/service could not be asked
    kServiceStopped = 1,
    kServiceStartPending = 2,
    kServiceStopPending = 3,
    kServiceRunning = 4,
};
