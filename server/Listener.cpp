#include "server/Listener.h"

using asio::ip::tcp;

bool Listen(tcp::acceptor& acceptor, const tcp::endpoint& endpoint, bool dualStack,
            asio::error_code& error) {
    asio::error_code ignored;
    acceptor.close(ignored);
    acceptor.open(endpoint.protocol(), error);
    if (error) return false;
    if (dualStack) acceptor.set_option(asio::ip::v6_only(false), error);
    if (!error) acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    // Accepted connections inherit it: small answers go out at once.
    if (!error) acceptor.set_option(tcp::no_delay(true), error);
    if (!error) acceptor.bind(endpoint, error);
    if (!error) acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) acceptor.close(ignored);
    return !error;
}
