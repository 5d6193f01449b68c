// The one way the program talks to a web server: a GET whose answer body comes back as bytes.
#pragma once
#include <functional>
#include <string>

#include "platform/platform.h"

namespace quillon {

// The answer body, or "" when the request could not be made, a bound ran out, or the server
// answered with a status outside 200-299 (an error page is not an answer). Yields to the
// message loop after every read but the first.
std::string httpGet(Http& http, Pump& pump, const std::string& url);
// The same, and after every read but the first `status` gets "Downloaded N bytes.".
std::string httpGetWithProgress(Http& http, Pump& pump, const std::string& url,
                                const std::function<void(const std::string&)>& status);

}  // namespace quillon
