// SPDX-License-Identifier: MIT
// Hashes and AES from CNG (bcrypt.dll). RC4 comes from CryptoAPI's enhanced provider instead:
// CNG's RC4 is missing from wine, where the Windows build's tests run, while CryptoAPI has RC4 on
// every Windows and under wine alike.
#include "platform/Crypto.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <windows.h>

#include <bcrypt.h>
#include <wincrypt.h>

namespace trovex::crypto
{
namespace
{

[[noreturn]] void FailStatus(const char* what, NTSTATUS status)
{
    char text[64];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(status));
    throw std::runtime_error(std::string("CNG: ") + what + ": status " + text);
}

[[noreturn]] void FailLastError(const char* what)
{
    const DWORD error = ::GetLastError();
    char text[64];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(error));
    throw std::runtime_error(std::string("CryptoAPI: ") + what + ": error " + text);
}

void Check(NTSTATUS status, const char* what)
{
    if (status < 0)
        FailStatus(what, status);
}

// The CNG calls take ULONG lengths: larger inputs go in pieces of whole AES blocks.
constexpr std::size_t Piece = std::size_t{1} << 30;

UCHAR* Bytes(std::string_view s)
{
    // CNG's inputs are declared writable but are only read.
    return reinterpret_cast<UCHAR*>(const_cast<char*>(s.data()));
}

// An algorithm provider, opened once and kept for the life of the process: opening one is slow,
// and one handle serves every thread.
struct TAlgorithm
{
    BCRYPT_ALG_HANDLE Handle = nullptr;
    ULONG ObjectLength = 0;
    ULONG HashLength = 0;

    TAlgorithm(LPCWSTR id, LPCWSTR chainingMode)
    {
        Check(::BCryptOpenAlgorithmProvider(&Handle, id, nullptr, 0), "open algorithm");
        ULONG size = 0;
        Check(::BCryptGetProperty(Handle, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&ObjectLength),
                                  sizeof ObjectLength, &size, 0),
              "object length");
        if (chainingMode) {
            const auto bytes = static_cast<ULONG>((std::wcslen(chainingMode) + 1) * sizeof(wchar_t));
            Check(::BCryptSetProperty(Handle, BCRYPT_CHAINING_MODE,
                                      reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(chainingMode)), bytes, 0),
                  "chaining mode");
        } else {
            Check(::BCryptGetProperty(Handle, BCRYPT_HASH_LENGTH, reinterpret_cast<PUCHAR>(&HashLength),
                                      sizeof HashLength, &size, 0),
                  "hash length");
        }
    }
};

const TAlgorithm& Md5Algorithm()
{
    static const TAlgorithm alg(BCRYPT_MD5_ALGORITHM, nullptr);
    return alg;
}

const TAlgorithm& Sha256Algorithm()
{
    static const TAlgorithm alg(BCRYPT_SHA256_ALGORITHM, nullptr);
    return alg;
}

const TAlgorithm& Sha384Algorithm()
{
    static const TAlgorithm alg(BCRYPT_SHA384_ALGORITHM, nullptr);
    return alg;
}

const TAlgorithm& Sha512Algorithm()
{
    static const TAlgorithm alg(BCRYPT_SHA512_ALGORITHM, nullptr);
    return alg;
}

const TAlgorithm& AesCbcAlgorithm()
{
    static const TAlgorithm alg(BCRYPT_AES_ALGORITHM, BCRYPT_CHAIN_MODE_CBC);
    return alg;
}

const TAlgorithm& AesEcbAlgorithm()
{
    static const TAlgorithm alg(BCRYPT_AES_ALGORITHM, BCRYPT_CHAIN_MODE_ECB);
    return alg;
}

// One running hash. Windows 7 wants the caller to supply the object's memory.
class THash
{
public:
    explicit THash(const TAlgorithm& alg)
        : FObject(alg.ObjectLength)
        , FLength(alg.HashLength)
    {
        Check(::BCryptCreateHash(alg.Handle, &FHandle, FObject.data(), static_cast<ULONG>(FObject.size()), nullptr, 0,
                                 0),
              "create hash");
    }
    ~THash()
    {
        if (FHandle)
            ::BCryptDestroyHash(FHandle);
    }
    THash(const THash&) = delete;
    THash& operator=(const THash&) = delete;

    void Update(std::string_view data)
    {
        for (std::size_t at = 0; at < data.size(); at += Piece) {
            const std::string_view part = data.substr(at, Piece);
            Check(::BCryptHashData(FHandle, Bytes(part), static_cast<ULONG>(part.size()), 0), "hash");
        }
    }

    std::string Finish()
    {
        std::string out(FLength, '\0');
        Check(::BCryptFinishHash(FHandle, reinterpret_cast<PUCHAR>(out.data()), FLength, 0), "hash end");
        return out;
    }

private:
    std::vector<UCHAR> FObject;
    ULONG FLength;
    BCRYPT_HASH_HANDLE FHandle = nullptr;
};

std::string Digest(const TAlgorithm& alg, std::string_view data)
{
    THash hash(alg);
    hash.Update(data);
    return hash.Finish();
}

class TSymmetricKey
{
public:
    TSymmetricKey(const TAlgorithm& alg, std::string_view key)
        : FObject(alg.ObjectLength)
    {
        Check(::BCryptGenerateSymmetricKey(alg.Handle, &FHandle, FObject.data(), static_cast<ULONG>(FObject.size()),
                                           Bytes(key), static_cast<ULONG>(key.size()), 0),
              "AES key");
    }
    ~TSymmetricKey()
    {
        if (FHandle)
            ::BCryptDestroyKey(FHandle);
    }
    TSymmetricKey(const TSymmetricKey&) = delete;
    TSymmetricKey& operator=(const TSymmetricKey&) = delete;

    // No padding either way; `iv` empty in ECB mode. CNG carries the chaining value from one
    // piece to the next in the IV buffer.
    std::string Run(std::string_view iv, std::string_view data, bool encrypt)
    {
        UCHAR chain[16] = {};
        std::copy(iv.begin(), iv.end(), reinterpret_cast<char*>(chain));
        std::string out(data.size(), '\0');
        for (std::size_t at = 0; at < data.size(); at += Piece) {
            const std::string_view part = data.substr(at, Piece);
            const auto size = static_cast<ULONG>(part.size());
            auto* to = reinterpret_cast<PUCHAR>(out.data() + at);
            ULONG written = 0;
            const NTSTATUS status =
                encrypt ? ::BCryptEncrypt(FHandle, Bytes(part), size, nullptr, iv.empty() ? nullptr : chain,
                                          iv.empty() ? 0 : 16, to, size, &written, 0)
                        : ::BCryptDecrypt(FHandle, Bytes(part), size, nullptr, iv.empty() ? nullptr : chain,
                                          iv.empty() ? 0 : 16, to, size, &written, 0);
            Check(status, encrypt ? "AES encryption" : "AES decryption");
            if (written != size)
                throw std::runtime_error("CNG: AES gave " + std::to_string(written) + " bytes for " +
                                         std::to_string(size));
        }
        return out;
    }

private:
    std::vector<UCHAR> FObject;
    BCRYPT_KEY_HANDLE FHandle = nullptr;
};

bool AesKeySize(std::size_t size)
{
    return size == 16 || size == 24 || size == 32;
}

// CryptoAPI's enhanced provider with its AES extension, present on every supported Windows and in
// wine. A verify context touches no key container.
HCRYPTPROV Rc4Provider()
{
    static const HCRYPTPROV provider = [] {
        HCRYPTPROV handle = 0;
        if (!::CryptAcquireContextW(&handle, nullptr, MS_ENH_RSA_AES_PROV_W, PROV_RSA_AES,
                                    CRYPT_VERIFYCONTEXT | CRYPT_SILENT))
            FailLastError("RC4 provider");
        return handle;
    }();
    return provider;
}

class TRc4Key
{
public:
    explicit TRc4Key(std::string key)
    {
        struct TBlob
        {
            BLOBHEADER Header;
            DWORD Size;
            BYTE Key[16];
        } blob{};
        blob.Header.bType = PLAINTEXTKEYBLOB;
        blob.Header.bVersion = CUR_BLOB_VERSION;
        blob.Header.aiKeyAlg = CALG_RC4;
        blob.Size = static_cast<DWORD>(key.size());
        std::copy(key.begin(), key.end(), reinterpret_cast<char*>(blob.Key));
        const auto blobSize = static_cast<DWORD>(offsetof(TBlob, Key) + key.size());
        const BOOL ok = ::CryptImportKey(Rc4Provider(), reinterpret_cast<const BYTE*>(&blob), blobSize, 0, 0, &FHandle);
        ::SecureZeroMemory(&blob, sizeof blob);
        if (!ok)
            FailLastError("RC4 key");
    }
    ~TRc4Key()
    {
        if (FHandle)
            ::CryptDestroyKey(FHandle);
    }
    TRc4Key(const TRc4Key&) = delete;
    TRc4Key& operator=(const TRc4Key&) = delete;

    HCRYPTKEY Handle() const { return FHandle; }

private:
    HCRYPTKEY FHandle = 0;
};

} // namespace

struct TMd5::TState
{
    std::unique_ptr<THash> Hash = std::make_unique<THash>(Md5Algorithm());
};

TMd5::TMd5()
    : FState(std::make_unique<TState>())
{
}

TMd5::~TMd5() = default;
TMd5::TMd5(TMd5&&) noexcept = default;
TMd5& TMd5::operator=(TMd5&&) noexcept = default;

void TMd5::Update(std::string_view data)
{
    FState->Hash->Update(data);
}

std::string TMd5::Final()
{
    std::string digest = FState->Hash->Finish();
    // A finished CNG hash cannot be reused before Windows 8: start a new one.
    FState->Hash = std::make_unique<THash>(Md5Algorithm());
    return digest;
}

std::string Md5(std::string_view data)
{
    return Digest(Md5Algorithm(), data);
}

std::string Sha256(std::string_view data)
{
    return Digest(Sha256Algorithm(), data);
}

std::string Sha384(std::string_view data)
{
    return Digest(Sha384Algorithm(), data);
}

std::string Sha512(std::string_view data)
{
    return Digest(Sha512Algorithm(), data);
}

std::string Rc4(std::string_view key, std::string_view data)
{
    if (key.empty() || key.size() > 16)
        throw std::invalid_argument("RC4 key of " + std::to_string(key.size()) + " bytes");
    // CryptoAPI salts a 40-bit key and refuses shorter ones. RC4's key schedule reads the key
    // cyclically, so the key repeated whole gives the same stream: short keys are made 48 bits
    // or longer that way.
    std::string wide(key);
    while (wide.size() < 6)
        wide += key;
    TRc4Key rc4(std::move(wide));
    std::string out(data);
    for (std::size_t at = 0; at < out.size(); at += Piece) {
        auto size = static_cast<DWORD>(std::min(Piece, out.size() - at));
        if (!::CryptDecrypt(rc4.Handle(), 0, FALSE, 0, reinterpret_cast<BYTE*>(out.data() + at), &size))
            FailLastError("RC4");
    }
    return out;
}

bool AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data, std::string& out)
{
    out.clear();
    if (!AesKeySize(key.size()) || iv.size() != 16)
        return false;
    TSymmetricKey aes(AesCbcAlgorithm(), key);
    out = aes.Run(iv, data.substr(0, data.size() / 16 * 16), false);
    return true;
}

std::string AesCbcEncryptNoPad(std::string_view key, std::string_view iv, std::string_view data)
{
    if (!AesKeySize(key.size()) || iv.size() != 16 || data.size() % 16 != 0)
        throw std::invalid_argument("AES-CBC: key, IV or data of the wrong size");
    TSymmetricKey aes(AesCbcAlgorithm(), key);
    return aes.Run(iv, data, true);
}

std::string AesEcbDecryptBlock(std::string_view key32, std::string_view block16)
{
    if (key32.size() != 32 || block16.size() != 16)
        throw std::invalid_argument("AES-256-ECB: key or block of the wrong size");
    TSymmetricKey aes(AesEcbAlgorithm(), key32);
    return aes.Run({}, block16, false);
}

} // namespace trovex::crypto
