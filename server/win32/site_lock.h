// Which pages may use a control embedded in them: the lock looks at the page the control's site
// leads to (a browser's location, or the container's HTML document). A page whose origin is on
// the allow list the bridge keeps (HKCU, then HKLM) or that lies in the Local intranet or Trusted
// sites zone may; any other may not. A site that leads to no page (a script host, a form in an
// office document, the library's own page host) is no page: the control works as it would alone.
#pragma once

#include <windows.h>

#include <ocidl.h>

#include <optional>
#include <string>

namespace velmaris::server::win32 {

// "https://cms.example" from "HTTPS://Cms.Example:443/a/b?c": scheme and host lower-cased, the
// scheme's default port dropped. For a URL of another scheme, the URL as it is.
std::wstring OriginOfUrl(const std::wstring& url);

class SiteLock {
 public:
  // A new site: the decision is made again on the next call.
  void SetSite(IOleClientSite* site);
  // The origin of the refused page, or empty when the control may serve its site.
  std::wstring Refused();

 private:
  IOleClientSite* m_site = nullptr;  // no reference: the control holds one
  std::optional<std::wstring> m_refused;
};

}  // namespace velmaris::server::win32
