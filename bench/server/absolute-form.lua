-- wrk sends absolute-form requests, as a client set up with an HTTP proxy does: wrk connects
-- to the proxy named on its command line, and every request names the origin given after "--".
function init(args)
  local origin = args[1]
  wrk.path = "http://" .. origin .. "/bench"
  wrk.headers["Host"] = origin
end
