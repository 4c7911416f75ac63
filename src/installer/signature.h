#pragma once
// Authenticode: whether a program file was signed by the expected publisher.

#include <windows.h>

#include <string>

// Checks the Authenticode signature of the file open in `file` (found at
// `path`) and that its signer's subject common name is exactly `publisher`.
// Revocation is not checked: that would go to the network. Returns 0; the
// platform's verdict (TRUST_E_NOSIGNATURE, TRUST_E_BAD_DIGEST...); or
// TRUST_E_SUBJECT_NOT_TRUSTED when another publisher signed it.
[[nodiscard]] DWORD VerifyPublisher(HANDLE file, const std::wstring& path,
                                    const std::wstring& publisher);
