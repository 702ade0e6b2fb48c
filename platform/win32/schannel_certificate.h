// The server's certificate of a Schannel session, checked by the program rather than the session
// so that its fault can be told apart: the chain to a root the system trusts, for server
// authentication, and the host the connection was made to.
#pragma once

// It brings <windows.h> with it.
#include <winsock2.h>
//
#include <wincrypt.h>

#include <optional>
#include <string>

#include "platform/socket_errors.h"

namespace velmaris {

// Why `certificate` (the server's; null when it showed none) is refused for `host`, the name or
// address as the user wrote it; nothing when it is trusted. The certificate is freed.
std::optional<TlsFailure> CertificateRefused(PCCERT_CONTEXT certificate,
                                             const std::u16string& host);

// The host's bytes when it is an address, else none.
std::string AddressBytes(const std::wstring& host);

}  // namespace velmaris
