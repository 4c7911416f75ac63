#include "installer/signature.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

#include "common/unique_resource.h"

namespace {

using WinVerifyTrustFunction = LONG(WINAPI*)(HWND, GUID*, LPVOID);
using ProvDataFunction = CRYPT_PROVIDER_DATA*(WINAPI*)(HANDLE);
using ProvSignerFunction = CRYPT_PROVIDER_SGNR*(WINAPI*)(CRYPT_PROVIDER_DATA*, DWORD, BOOL, DWORD);
using CertNameFunction = DWORD(WINAPI*)(PCCERT_CONTEXT, DWORD, DWORD, void*, LPWSTR, DWORD);

// Neither DLL is one Windows always takes from System32, so both are loaded
// from there explicitly, and only when a publisher is required.
UniqueModule LoadSystemLibrary(const wchar_t* name) {
  return UniqueModule(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
}

template <typename Function>
Function Find(const UniqueModule& module, const char* name) {
  // A function found by name is called as its own type; the cast goes
  // through void* because GCC warns on a direct one between function types.
  // NOLINTNEXTLINE(bugprone-casting-through-void)
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module.get(), name)));
}

// The signer's subject common name, from the state a verification kept.
DWORD SignerName(HANDLE state, CertNameFunction certName, ProvDataFunction provData,
                 ProvSignerFunction provSigner, std::wstring& name) {
  CRYPT_PROVIDER_DATA* data = provData(state);
  CRYPT_PROVIDER_SGNR* signer = data == nullptr ? nullptr : provSigner(data, 0, FALSE, 0);
  if (signer == nullptr || signer->csCertChain == 0 || signer->pasCertChain == nullptr ||
      signer->pasCertChain[0].pCert == nullptr) {
    return static_cast<DWORD>(TRUST_E_NOSIGNATURE);
  }
  PCCERT_CONTEXT certificate = signer->pasCertChain[0].pCert;
  char commonName[] = szOID_COMMON_NAME;
  const DWORD length = certName(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, nullptr, 0);
  std::vector<wchar_t> buffer(length);
  if (length <= 1 ||
      certName(certificate, CERT_NAME_ATTR_TYPE, 0, commonName, buffer.data(), length) != length) {
    return static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED);
  }
  name.assign(buffer.data(), length - 1);
  return ERROR_SUCCESS;
}

}  // namespace

DWORD VerifyPublisher(HANDLE file, const std::wstring& path, const std::wstring& publisher) {
  const UniqueModule wintrust = LoadSystemLibrary(L"wintrust.dll");
  const UniqueModule crypt32 = LoadSystemLibrary(L"crypt32.dll");
  const auto verify = Find<WinVerifyTrustFunction>(wintrust, "WinVerifyTrust");
  const auto provData = Find<ProvDataFunction>(wintrust, "WTHelperProvDataFromStateData");
  const auto provSigner = Find<ProvSignerFunction>(wintrust, "WTHelperGetProvSignerFromChain");
  const auto certName = Find<CertNameFunction>(crypt32, "CertGetNameStringW");
  if (verify == nullptr || provData == nullptr || provSigner == nullptr || certName == nullptr) {
    return static_cast<DWORD>(TRUST_E_PROVIDER_UNKNOWN);
  }

  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof(fileInfo);
  fileInfo.pcwszFilePath = path.c_str();
  // The handle, not the path: what is checked is the file held open.
  fileInfo.hFile = file;
  WINTRUST_DATA trust{};
  trust.cbStruct = sizeof(trust);
  trust.dwUIChoice = WTD_UI_NONE;
  // No revocation check: it would go to the network, and a setup may run
  // offline. Windows still checks the chain to a trusted root.
  trust.fdwRevocationChecks = WTD_REVOKE_NONE;
  trust.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  trust.dwUnionChoice = WTD_CHOICE_FILE;
  trust.pFile = &fileInfo;
  trust.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  // INVALID_HANDLE_VALUE as the window: no user interface at all.
  auto* const noWindow = static_cast<HWND>(INVALID_HANDLE_VALUE);
  auto result = static_cast<DWORD>(verify(noWindow, &action, &trust));
  if (result == ERROR_SUCCESS) {
    std::wstring signer;
    result = SignerName(trust.hWVTStateData, certName, provData, provSigner, signer);
    if (result == ERROR_SUCCESS && signer != publisher) {
      result = static_cast<DWORD>(TRUST_E_SUBJECT_NOT_TRUSTED);
    }
  }
  trust.dwStateAction = WTD_STATEACTION_CLOSE;
  (void)verify(noWindow, &action, &trust);
  return result;
}
