// SPDX-License-Identifier: MIT
// Hashes and ciphers from OpenSSL's libcrypto. The algorithms come from a library context of our
// own, so the process's default context, its configuration file and whatever else in the
// process uses OpenSSL stay as they are; RC4 lives in the "legacy" provider, loaded only there.
#include "platform/Crypto.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

namespace trovex::crypto
{
namespace
{

[[noreturn]] void Fail(const char* what)
{
    char text[256] = "unknown error";
    if (unsigned long code = ERR_get_error())
        ERR_error_string_n(code, text, sizeof text);
    ERR_clear_error(); // the thread's queue holds nothing of ours afterwards
    throw std::runtime_error(std::string("OpenSSL: ") + what + ": " + text);
}

// The context and the algorithms fetched from it once; fetched algorithms are read-only and may
// be used by any thread. Kept for the life of the process: freeing it at exit could race a
// thread still decrypting, or OpenSSL's own clean-up.
struct TLibrary
{
    OSSL_LIB_CTX* Context = nullptr;
    bool HasLegacy = false;
    EVP_MD* Md5 = nullptr;
    EVP_MD* Sha256 = nullptr;
    EVP_MD* Sha384 = nullptr;
    EVP_MD* Sha512 = nullptr;
    EVP_CIPHER* Rc4 = nullptr;
    EVP_CIPHER* AesCbc[3] = {}; // 128, 192 and 256 bits
    EVP_CIPHER* Aes256Ecb = nullptr;
};

EVP_MD* FetchDigest(OSSL_LIB_CTX* context, const char* name)
{
    EVP_MD* md = EVP_MD_fetch(context, name, nullptr);
    if (!md)
        Fail(name);
    return md;
}

EVP_CIPHER* FetchCipher(OSSL_LIB_CTX* context, const char* name)
{
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(context, name, nullptr);
    if (!cipher)
        Fail(name);
    return cipher;
}

TLibrary* MakeLibrary()
{
    // Settles OpenSSL's own start-up (and its exit handler) before any context exists.
    if (!OPENSSL_init_crypto(0, nullptr))
        Fail("initialisation");
    auto lib = std::make_unique<TLibrary>(); // a failure part-way leaves only its context behind
    lib->Context = OSSL_LIB_CTX_new();
    if (!lib->Context)
        Fail("library context");
    if (!OSSL_PROVIDER_load(lib->Context, "default"))
        Fail("default provider");
    // Without the legacy provider only RC4 is missing: documents protected by AES still open.
    lib->HasLegacy = OSSL_PROVIDER_load(lib->Context, "legacy") != nullptr;
    ERR_clear_error();
    lib->Md5 = FetchDigest(lib->Context, "MD5");
    lib->Sha256 = FetchDigest(lib->Context, "SHA2-256");
    lib->Sha384 = FetchDigest(lib->Context, "SHA2-384");
    lib->Sha512 = FetchDigest(lib->Context, "SHA2-512");
    if (lib->HasLegacy)
        lib->Rc4 = FetchCipher(lib->Context, "RC4");
    lib->AesCbc[0] = FetchCipher(lib->Context, "AES-128-CBC");
    lib->AesCbc[1] = FetchCipher(lib->Context, "AES-192-CBC");
    lib->AesCbc[2] = FetchCipher(lib->Context, "AES-256-CBC");
    lib->Aes256Ecb = FetchCipher(lib->Context, "AES-256-ECB");
    return lib.release();
}

const TLibrary& Library()
{
    static TLibrary* const lib = MakeLibrary(); // a throw leaves it to the next call to try again
    return *lib;
}

std::string Digest(const EVP_MD* md, std::string_view data)
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_Digest(data.data(), data.size(), out, &size, md, nullptr))
        Fail("digest");
    return std::string(reinterpret_cast<const char*>(out), size);
}

struct TCipherContextFree
{
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// One pass of `cipher` over `data`, no padding added or removed.
std::string RunCipher(const EVP_CIPHER* cipher, std::string_view key, std::string_view iv, std::string_view data,
                      bool encrypt)
{
    std::unique_ptr<EVP_CIPHER_CTX, TCipherContextFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx)
        Fail("cipher context");
    if (!EVP_CipherInit_ex2(ctx.get(), cipher, nullptr, nullptr, encrypt ? 1 : 0, nullptr))
        Fail("cipher set-up");
    if (EVP_CIPHER_CTX_get_key_length(ctx.get()) != static_cast<int>(key.size()) &&
        EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())) <= 0)
        Fail("key length");
    const auto* keyBytes = reinterpret_cast<const unsigned char*>(key.data());
    const auto* ivBytes = iv.empty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.data());
    if (!EVP_CipherInit_ex2(ctx.get(), nullptr, keyBytes, ivBytes, encrypt ? 1 : 0, nullptr))
        Fail("key set-up");
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);

    std::string out(data.size() + 32, '\0'); // room for what a block cipher may hold back
    auto* to = reinterpret_cast<unsigned char*>(out.data());
    std::size_t done = 0;
    // The lengths are ints: large inputs go in pieces of whole blocks.
    constexpr std::size_t piece = std::size_t{1} << 30;
    for (std::size_t at = 0; at < data.size(); at += piece) {
        const std::size_t n = std::min(piece, data.size() - at);
        int written = 0;
        if (!EVP_CipherUpdate(ctx.get(), to + done, &written,
                              reinterpret_cast<const unsigned char*>(data.data()) + at, static_cast<int>(n)))
            Fail("cipher");
        done += static_cast<std::size_t>(written);
    }
    int written = 0;
    if (!EVP_CipherFinal_ex(ctx.get(), to + done, &written))
        Fail("cipher end");
    done += static_cast<std::size_t>(written);
    out.resize(done);
    return out;
}

const EVP_CIPHER* AesCbcFor(std::size_t keySize)
{
    switch (keySize) {
    case 16: return Library().AesCbc[0];
    case 24: return Library().AesCbc[1];
    case 32: return Library().AesCbc[2];
    default: return nullptr;
    }
}

} // namespace

struct TMd5::TState
{
    EVP_MD_CTX* Ctx = nullptr;
    ~TState() { EVP_MD_CTX_free(Ctx); }
};

TMd5::TMd5()
    : FState(std::make_unique<TState>())
{
    FState->Ctx = EVP_MD_CTX_new();
    if (!FState->Ctx)
        Fail("digest context");
    if (!EVP_DigestInit_ex2(FState->Ctx, Library().Md5, nullptr))
        Fail("MD5 set-up");
}

TMd5::~TMd5() = default;
TMd5::TMd5(TMd5&&) noexcept = default;
TMd5& TMd5::operator=(TMd5&&) noexcept = default;

void TMd5::Update(std::string_view data)
{
    if (!EVP_DigestUpdate(FState->Ctx, data.data(), data.size()))
        Fail("MD5");
}

std::string TMd5::Final()
{
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!EVP_DigestFinal_ex(FState->Ctx, out, &size) || !EVP_DigestInit_ex2(FState->Ctx, nullptr, nullptr))
        Fail("MD5 end");
    return std::string(reinterpret_cast<const char*>(out), size);
}

std::string Md5(std::string_view data)
{
    return Digest(Library().Md5, data);
}

std::string Sha256(std::string_view data)
{
    return Digest(Library().Sha256, data);
}

std::string Sha384(std::string_view data)
{
    return Digest(Library().Sha384, data);
}

std::string Sha512(std::string_view data)
{
    return Digest(Library().Sha512, data);
}

std::string Rc4(std::string_view key, std::string_view data)
{
    if (key.empty() || key.size() > 16)
        throw std::invalid_argument("RC4 key of " + std::to_string(key.size()) + " bytes");
    if (!Library().Rc4)
        throw std::runtime_error("OpenSSL: RC4 needs the legacy provider, which could not be loaded");
    return RunCipher(Library().Rc4, key, {}, data, true);
}

bool AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data, std::string& out)
{
    out.clear();
    const EVP_CIPHER* cipher = AesCbcFor(key.size());
    if (!cipher || iv.size() != 16)
        return false;
    out = RunCipher(cipher, key, iv, data.substr(0, data.size() / 16 * 16), false);
    return true;
}

std::string AesCbcEncryptNoPad(std::string_view key, std::string_view iv, std::string_view data)
{
    const EVP_CIPHER* cipher = AesCbcFor(key.size());
    if (!cipher || iv.size() != 16 || data.size() % 16 != 0)
        throw std::invalid_argument("AES-CBC: key, IV or data of the wrong size");
    return RunCipher(cipher, key, iv, data, true);
}

std::string AesEcbDecryptBlock(std::string_view key32, std::string_view block16)
{
    if (key32.size() != 32 || block16.size() != 16)
        throw std::invalid_argument("AES-256-ECB: key or block of the wrong size");
    return RunCipher(Library().Aes256Ecb, key32, {}, block16, false);
}

} // namespace trovex::crypto
