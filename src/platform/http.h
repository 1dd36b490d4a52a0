// HTTPS GET over libcurl. One process-wide client (set up at the first
// request) serves every thread; cookies live in one in-memory store.
#pragma once

#include <functional>
#include <string>

namespace luting {

// Largest body kept; what arrives beyond it is not read.
inline constexpr std::size_t maxBodyBytes = 32u << 20;

// Fetches url with the program's fixed request settings and returns the body:
// empty when the request fails before any of it arrives, the part read so far
// when it fails later. The HTTP status is not looked at. caFile names a PEM
// file of CAs to trust instead of the system store (empty: system store).
// abandon is polled several times a second; once it gives true the transfer
// stops and what was read is returned.
std::string httpGet(const std::string& url, const std::string& caFile,
                    const std::function<bool()>& abandon = {});

}  // namespace luting
