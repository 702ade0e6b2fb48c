// A test authority trusted by this user while a test runs (the system's Root store), as an
// administrator would trust a company's own. Tests only: the product never touches the store.
#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <string>
#include <vector>

// The authorities added, trusted until it goes.
class TrustedAuthorities {
 public:
  TrustedAuthorities()
      : m_store(CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER,
                              L"Root")) {}
  ~TrustedAuthorities() {
    for (PCCERT_CONTEXT added : m_added) CertDeleteCertificateFromStore(added);
    CertControlStore(m_store, 0, CERT_STORE_CTRL_COMMIT, nullptr);
    CertCloseStore(m_store, 0);
  }
  TrustedAuthorities(const TrustedAuthorities&) = delete;
  TrustedAuthorities& operator=(const TrustedAuthorities&) = delete;

  bool Add(const std::string& pem) {
    DWORD size = 0;
    const DWORD length = static_cast<DWORD>(pem.size());
    CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr,
                         nullptr);
    std::string der(size, '\0');
    PCCERT_CONTEXT added = nullptr;
    if (!CryptStringToBinaryA(pem.data(), length, CRYPT_STRING_BASE64HEADER,
                              reinterpret_cast<BYTE*>(der.data()), &size, nullptr, nullptr) ||
        !CertAddEncodedCertificateToStore(m_store, X509_ASN_ENCODING,
                                          reinterpret_cast<const BYTE*>(der.data()), size,
                                          CERT_STORE_ADD_REPLACE_EXISTING, &added)) {
      return false;
    }
    m_added.push_back(added);
    // Written now, for the chains the system builds from stores of its own.
    return CertControlStore(m_store, 0, CERT_STORE_CTRL_COMMIT, nullptr) != FALSE;
  }

 private:
  HCERTSTORE m_store;
  std::vector<PCCERT_CONTEXT> m_added;
};
