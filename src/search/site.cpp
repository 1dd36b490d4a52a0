#include "search/site.h"

#include "app/search_state.h"
#include "platform/http.h"
#include "platform/thread.h"
#include "search/result_page.h"

namespace luting {
namespace {

std::string host = LUTING_SITE_HOST;
std::string caFile = LUTING_SITE_CA_FILE;

}  // namespace

std::string_view siteHost() { return host; }
std::string_view siteCaFile() { return caFile; }

void setSiteForTesting(std::string newHost, std::string newCaFile) {
  host = std::move(newHost);
  caFile = std::move(newCaFile);
}

std::string buildPageUrl(std::string_view host, std::string_view encodedKeyword,
                         int pageNumber) {
  std::string url = "https://";
  url.append(host).append("/cili/").append(encodedKeyword);
  url.append("/time-").append(std::to_string(pageNumber)).append(".html");
  return url;
}

std::string fetchPageText(int pageNumber) {
  return pageTextOfBody(httpGet(buildPageUrl(host, searchState.encodedKeyword, pageNumber),
                                caFile, [] { return stopRequested(); }));
}

}  // namespace luting
