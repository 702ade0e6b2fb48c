#include "platform/win32/schannel_certificate.h"

#include <ws2tcpip.h>

#include <string_view>

#include "platform/win32/system_text.h"

namespace velmaris {

namespace {

// The policy's flag that leaves the name to the caller (wininet.h's
// SECURITY_FLAG_IGNORE_CERT_CN_INVALID).
constexpr DWORD kIgnoreName = 0x00001000;

// Whether the certificate is for `address`: an address is matched against the certificate's
// address entries only, which the system's own check does not do everywhere.
bool NamesAddress(PCCERT_CONTEXT certificate, const std::string& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  const CERT_EXTENSION* extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (extension == nullptr ||
      !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                           &size)) {
    return false;
  }
  bool named = false;
  for (DWORD i = 0; i < names->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    named = named || (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                      std::string_view(reinterpret_cast<const char*>(entry.IPAddress.pbData),
                                       entry.IPAddress.cbData) == address);
  }
  LocalFree(names);
  return named;
}

}  // namespace

std::string AddressBytes(const std::wstring& host) {
  char address[16];
  if (InetPtonW(AF_INET, host.c_str(), address) == 1) return std::string(address, 4);
  if (InetPtonW(AF_INET6, host.c_str(), address) == 1) return std::string(address, 16);
  return {};
}

std::optional<TlsFailure> CertificateRefused(PCCERT_CONTEXT certificate,
                                             const std::u16string& host) {
  if (certificate == nullptr) {
    return TlsFailure{
        {}, kTlsUntrustedRoot, u"无法建立安全连接：服务器 " + host + u" 没有出示证书"};
  }
  std::wstring name(host.begin(), host.end());
  const std::string address = AddressBytes(name);
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {server_auth};
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  DWORD error = 0;
  DWORD trust = 0;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &parameters,
                               0, nullptr, &chain)) {
    error = GetLastError();
  } else {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = name.data();
    if (!address.empty()) ssl.fdwChecks = kIgnoreName;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS outcome{};
    outcome.cbSize = sizeof outcome;
    error = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &outcome)
                ? outcome.dwError
                : GetLastError();
    trust = chain->TrustStatus.dwErrorStatus;
    CertFreeCertificateChain(chain);
    // A chain that ends short of any root is refused even where the policy lets it pass.
    if (error == 0 && (trust & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) {
      error = static_cast<DWORD>(CERT_E_CHAINING);
    }
    if (error == 0 && !address.empty() && !NamesAddress(certificate, address)) {
      error = static_cast<DWORD>(CERT_E_CN_NO_MATCH);
    }
  }
  const LONG validity = CertVerifyTimeValidity(nullptr, certificate->pCertInfo);
  CertFreeCertificateContext(certificate);
  if (error == 0) return std::nullopt;

  CertificateFault fault = CertificateFault::kOther;
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
      // A chain that ends in a root of its own the store does not hold, or in none.
      fault =
          (trust & CERT_TRUST_IS_PARTIAL_CHAIN) != 0 || error == static_cast<DWORD>(CERT_E_CHAINING)
              ? CertificateFault::kUnknownAuthority
              : CertificateFault::kSelfSigned;
      break;
    case static_cast<DWORD>(CERT_E_EXPIRED):
      fault = validity < 0 ? CertificateFault::kNotYetValid : CertificateFault::kExpired;
      break;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      fault = CertificateFault::kWrongHost;
      break;
  }
  return CertificateFailure(fault, host, SystemText(static_cast<int>(error)));
}

}  // namespace velmaris
