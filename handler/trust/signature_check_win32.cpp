#include "signature_check.h"

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cstring>

namespace handler {

namespace {

constexpr DWORD kMinimumRsaBits = 2048;
// kSha256: XP SP3's AES provider has it, though the headers show it
// from Vista on.
constexpr ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;
// The named curve P-256 (prime256v1) as the key's parameters hold it: DER
// of OID 1.2.840.10045.3.1.7.
constexpr BYTE kP256[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

using ImportKey = BOOL(WINAPI*)(DWORD, PCERT_PUBLIC_KEY_INFO, DWORD, void*, BCRYPT_KEY_HANDLE*);
using VerifyHash = LONG(WINAPI*)(BCRYPT_KEY_HANDLE, void*, PUCHAR, ULONG, PUCHAR, ULONG, ULONG);
using DestroyKey = LONG(WINAPI*)(BCRYPT_KEY_HANDLE);

BYTE* bytesOf(const std::string& text) {
    return reinterpret_cast<BYTE*>(const_cast<char*>(text.data()));
}

// A hash of `data` with the provider's SHA-256, kept for the caller.
HCRYPTHASH sha256(HCRYPTPROV provider, const std::string& data) {
    HCRYPTHASH hash = 0;
    if (!CryptCreateHash(provider, kSha256, 0, 0, &hash)) {
        return 0;
    }
    if (!CryptHashData(hash, bytesOf(data), DWORD(data.size()), 0)) {
        CryptDestroyHash(hash);
        return 0;
    }
    return hash;
}

std::string hex(const BYTE* bytes, DWORD size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (DWORD i = 0; i < size; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0xF];
    }
    return text;
}

Check verifyRsa(HCRYPTPROV provider, PCERT_PUBLIC_KEY_INFO key, const SignedPart& part) {
    const DWORD bits = CertGetPublicKeyLength(X509_ASN_ENCODING, key);
    if (bits < kMinimumRsaBits) {
        return Check::WrongKey;
    }
    if (part.signature.size() != (bits + 7) / 8) {
        return Check::DoesNotVerify;
    }
    HCRYPTKEY handle = 0;
    if (!CryptImportPublicKeyInfo(provider, X509_ASN_ENCODING, key, &handle)) {
        return Check::BadCertificate;
    }
    Check check = Check::DoesNotVerify;
    const HCRYPTHASH hash = sha256(provider, part.signingInput);
    // CryptoAPI reads the signature little-endian; JWS writes it big-endian.
    std::string reversed(part.signature.rbegin(), part.signature.rend());
    if (hash != 0 && CryptVerifySignatureW(hash, bytesOf(reversed), DWORD(reversed.size()), handle,
                                           nullptr, 0)) {
        check = Check::Verified;
    }
    if (hash != 0) {
        CryptDestroyHash(hash);
    }
    CryptDestroyKey(handle);
    return check;
}

Check verifyEc(HCRYPTPROV provider, PCERT_PUBLIC_KEY_INFO key, const SignedPart& part) {
    const CRYPT_OBJID_BLOB& curve = key->Algorithm.Parameters;
    if (curve.cbData != sizeof kP256 || std::memcmp(curve.pbData, kP256, sizeof kP256) != 0) {
        return Check::WrongKey;
    }
    if (part.signature.size() != 64) {
        return Check::DoesNotVerify;
    }
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    HMODULE crypt32 = GetModuleHandleW(L"crypt32.dll");
    HMODULE bcrypt = LoadLibraryW((std::wstring(system) + L"\\bcrypt.dll").c_str());
    auto import = reinterpret_cast<ImportKey>(
        reinterpret_cast<void*>(GetProcAddress(crypt32, "CryptImportPublicKeyInfoEx2")));
    auto verify = reinterpret_cast<VerifyHash>(
        reinterpret_cast<void*>(GetProcAddress(bcrypt, "BCryptVerifySignature")));
    auto destroy = reinterpret_cast<DestroyKey>(
        reinterpret_cast<void*>(GetProcAddress(bcrypt, "BCryptDestroyKey")));
    // XP has no CNG, Vista no CryptImportPublicKeyInfoEx2.
    Check check = Check::NoEcdsa;
    BCRYPT_KEY_HANDLE handle = nullptr;
    if (import != nullptr && verify != nullptr && destroy != nullptr) {
        check = import(X509_ASN_ENCODING, key, 0, nullptr, &handle) ? Check::DoesNotVerify
                                                                    : Check::BadCertificate;
    }
    const HCRYPTHASH hash = handle != nullptr ? sha256(provider, part.signingInput) : 0;
    BYTE digest[32] = {};
    DWORD size = sizeof digest;
    if (hash != 0 && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) &&
        verify(handle, nullptr, digest, size, bytesOf(part.signature), 64, 0) == 0) {
        check = Check::Verified;
    }
    if (hash != 0) {
        CryptDestroyHash(hash);
    }
    if (handle != nullptr) {
        destroy(handle);
    }
    if (bcrypt != nullptr) {
        FreeLibrary(bcrypt);
    }
    return check;
}

} // namespace

std::string sha256Hex(const std::string& data) {
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        return {};
    }
    const HCRYPTHASH hash = sha256(provider, data);
    BYTE digest[32] = {};
    DWORD size = sizeof digest;
    const bool hashed = hash != 0 && CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0);
    if (hash != 0) {
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return hashed ? hex(digest, size) : std::string();
}

Check verifySignature(const SignedPart& part, Signer& signer) {
    signer = Signer();
    PCCERT_CONTEXT certificate = CertCreateCertificateContext(
        X509_ASN_ENCODING, bytesOf(part.certificate), DWORD(part.certificate.size()));
    HCRYPTPROV provider = 0;
    if (certificate == nullptr ||
        !CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) {
        if (certificate != nullptr) {
            CertFreeCertificateContext(certificate);
        }
        return Check::BadCertificate;
    }
    BYTE thumbprint[32] = {};
    DWORD size = sizeof thumbprint;
    if (CryptHashCertificate(provider, kSha256, 0, bytesOf(part.certificate),
                             DWORD(part.certificate.size()), thumbprint, &size)) {
        signer.thumbprint = hex(thumbprint, size);
    }
    signer.current = CertVerifyTimeValidity(nullptr, certificate->pCertInfo) == 0;
    PCERT_PUBLIC_KEY_INFO key = &certificate->pCertInfo->SubjectPublicKeyInfo;
    const std::string kind = key->Algorithm.pszObjId != nullptr ? key->Algorithm.pszObjId : "";
    const bool rsa = kind == szOID_RSA_RSA;
    const bool ec = kind == szOID_ECC_PUBLIC_KEY;
    Check check = Check::WrongKey;
    if (rsa && part.algorithm == Algorithm::RS256) {
        check = verifyRsa(provider, key, part);
    } else if (ec && part.algorithm == Algorithm::ES256) {
        check = verifyEc(provider, key, part);
    }
    CryptReleaseContext(provider, 0);
    CertFreeCertificateContext(certificate);
    return check;
}

} // namespace handler
