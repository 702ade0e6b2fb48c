#include "server/win32/site_lock.h"

#include <exdisp.h>
#include <mshtml.h>
#include <servprov.h>
#include <urlmon.h>

#include <algorithm>
#include <cwctype>

#include "platform/win32/origin_lists.h"

namespace velmaris::server::win32 {
namespace {

std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The URL a browser shows for the page, through the site's services (SID_SWebBrowserApp is
// the browser's own interface id).
std::wstring BrowserLocation(IOleClientSite* site) {
  std::wstring url;
  IServiceProvider* services = nullptr;
  if (FAILED(site->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(&services))))
    return url;
  IWebBrowser2* browser = nullptr;
  if (SUCCEEDED(services->QueryService(IID_IWebBrowserApp, IID_IWebBrowser2,
                                       reinterpret_cast<void**>(&browser))) &&
      browser != nullptr) {
    BSTR location = nullptr;
    if (SUCCEEDED(browser->get_LocationURL(&location)) && location != nullptr) {
      url.assign(location, SysStringLen(location));
      SysFreeString(location);
    }
    browser->Release();
  }
  services->Release();
  return url;
}

// The URL of the HTML document that contains the control.
std::wstring DocumentUrl(IOleClientSite* site) {
  std::wstring url;
  IOleContainer* container = nullptr;
  if (FAILED(site->GetContainer(&container)) || container == nullptr) return url;
  IHTMLDocument2* document = nullptr;
  if (SUCCEEDED(
          container->QueryInterface(IID_IHTMLDocument2, reinterpret_cast<void**>(&document)))) {
    BSTR address = nullptr;
    if (SUCCEEDED(document->get_URL(&address)) && address != nullptr) {
      url.assign(address, SysStringLen(address));
      SysFreeString(address);
    }
    document->Release();
  }
  container->Release();
  return url;
}

// A zone whose pages the user or the admin trusts: the intranet and the trusted sites.
bool InTrustedZone(const std::wstring& url) {
  IInternetSecurityManager* manager = nullptr;
  if (FAILED(CoInternetCreateSecurityManager(nullptr, &manager, 0))) return false;
  DWORD zone = URLZONE_UNTRUSTED;
  const bool trusted = SUCCEEDED(manager->MapUrlToZone(url.c_str(), &zone, 0)) &&
                       (zone == URLZONE_INTRANET || zone == URLZONE_TRUSTED);
  manager->Release();
  return trusted;
}

bool Listed(const std::vector<std::wstring>& list, const std::wstring& origin) {
  return std::any_of(list.begin(), list.end(),
                     [&](const std::wstring& entry) { return OriginOfUrl(entry) == origin; });
}

}  // namespace

std::wstring OriginOfUrl(const std::wstring& url) {
  const size_t scheme_end = url.find(L"://");
  if (scheme_end == std::wstring::npos) return url;
  const std::wstring scheme = Lower(url.substr(0, scheme_end));
  if (scheme != L"http" && scheme != L"https") return url;
  std::wstring authority = url.substr(scheme_end + 3);
  authority = authority.substr(0, authority.find_first_of(L"/?#"));
  // A user name before the host is no part of the origin.
  if (size_t at = authority.rfind(L'@'); at != std::wstring::npos) authority.erase(0, at + 1);
  authority = Lower(authority);
  // A port after the host (an IPv6 host ends at its bracket).
  const size_t bracket = authority.rfind(L']');
  const size_t colon = authority.rfind(L':');
  if (colon != std::wstring::npos && (bracket == std::wstring::npos || colon > bracket)) {
    const std::wstring port = authority.substr(colon + 1);
    if (port.empty() || port == (scheme == L"https" ? L"443" : L"80")) authority.erase(colon);
  }
  return scheme + L"://" + authority;
}

void SiteLock::SetSite(IOleClientSite* site) {
  m_site = site;
  m_refused.reset();
}

std::wstring SiteLock::Refused() {
  if (m_refused) return *m_refused;
  std::wstring url;
  if (m_site != nullptr) {
    url = BrowserLocation(m_site);
    if (url.empty()) url = DocumentUrl(m_site);
  }
  // No page (yet): asked again on the next call, so a page that shows up later is checked.
  if (url.empty()) return {};
  const std::wstring origin = OriginOfUrl(url);
  const auto lists = velmaris::win32::ReadRegistryOrigins();
  // A refusal written down stands over an allowance, as it does for the bridge.
  const bool allowed =
      !Listed(lists.refused, origin) && (Listed(lists.allowed, origin) || InTrustedZone(url));
  // Decided once per site and page: the page a control sits in does not change under it.
  m_refused = allowed ? std::wstring() : origin;
  return *m_refused;
}

}  // namespace velmaris::server::win32
