// Serves result pages for any keyword on https://127.0.0.1:PORT until
// SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "site-server/test_site.h"

namespace {

const char kUsage[] =
    "usage: luting-demo-site [--port N] [--total N] [--per-page N] [--delay-ms N]\n"
    "  --port N      port on 127.0.0.1 (default 8443)\n"
    "  --total N     results the site reports for every keyword (default 1000)\n"
    "  --per-page N  results on a full page (default 20)\n"
    "  --delay-ms N  wait before answering each page (default 0)\n";

bool number(const char* text, long long& out) {
  char* end = nullptr;
  out = std::strtoll(text, &end, 10);
  return *text != '\0' && *end == '\0' && out >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  long long port = 8443, total = 1000, perPage = 20, delayMs = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    long long* target = arg == "--port" ? &port : arg == "--total" ? &total
                      : arg == "--per-page" ? &perPage : arg == "--delay-ms" ? &delayMs : nullptr;
    if (!target || i + 1 >= argc || !number(argv[i + 1], *target) || port > 65535 ||
        perPage > 1000000) {
      std::fprintf(stderr, "luting-demo-site: bad argument '%s'\n%s", argv[i], kUsage);
      return 2;
    }
    ++i;
  }

  // Block the stop signals before the server's threads start, then wait for
  // them here.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  try {
    luting::site::TestSite site(static_cast<int>(port));
    luting::site::PageOptions options;
    options.total = total;
    options.perPage = static_cast<int>(perPage);
    site.setPageOptions(options);
    site.setDelay(std::chrono::milliseconds(delayMs));
    std::printf("serving on https://%s\n", site.host().c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&stop, &signal);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "luting-demo-site: %s\n", e.what());
    return 1;
  }
  return 0;
}
