#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "server/LiveConnections.h"
#include "server/ServerSettings.h"
#include "server/TrafficStats.h"

// What the control server asks of the proxy server it answers for: its state and figures, and
// the one change it makes, applying settings read anew. The proxy server owns the control
// server; the control server reaches it only through this.
class ControlledProxy {
public:
    virtual const ServerSettings& Settings() const = 0;
    virtual TrafficStats& Stats() = 0;
    virtual bool Listening() const = 0;
    virtual uint16_t ListenPort() const = 0;
    // Client connections being served.
    virtual size_t ConnectionCount() const = 0;
    // Puts `settings` in force: sessions they no longer allow end.
    virtual void Apply(ServerSettings settings) = 0;
    // What "connections" lists, taken now.
    virtual std::shared_ptr<const ConnectionListing> ListConnections() const = 0;
    // Ends the client connections `order` names, as an "admin" alarm tells; how many.
    virtual int Disconnect(const DisconnectOrder& order) = 0;

protected:
    ~ControlledProxy() = default;
};
