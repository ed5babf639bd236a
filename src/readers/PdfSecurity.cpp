// SPDX-License-Identifier: MIT
#include "readers/PdfSecurity.h"

#include "platform/Crypto.h"

#include <algorithm>
#include <vector>

namespace trovex
{
namespace
{

using namespace crypto;

// Passwords are padded to 32 bytes with the start of these; the empty one is all padding.
constexpr unsigned char PasswordPadBytes[32] = {
    0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E, 0x56, 0xFF, 0xFA, 0x01, 0x08,
    0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68, 0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A,
};
const std::string_view PasswordPad(reinterpret_cast<const char*>(PasswordPadBytes), sizeof PasswordPadBytes);

std::string LittleEndian(std::uint32_t value, int bytes)
{
    std::string out;
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

// The RC4 key of revisions 2 to 4 for the empty password, `size` bytes long.
std::string Rc4FileKey(const TPdfEncryption& e, std::string_view fileId, std::size_t size)
{
    TMd5 md5;
    md5.Update(PasswordPad);
    md5.Update(std::string_view(e.O).substr(0, 32));
    md5.Update(LittleEndian(static_cast<std::uint32_t>(e.P), 4));
    md5.Update(fileId);
    if (e.R >= 4 && !e.EncryptMetadata)
        md5.Update("\xFF\xFF\xFF\xFF");
    std::string key = md5.Final();
    if (e.R >= 3)
        for (int i = 0; i < 50; ++i)
            key = Md5(std::string_view(key).substr(0, size));
    key.resize(size);
    return key;
}

// Whether `key` is the one the empty password gives: /U is what the key makes of the pad.
bool Rc4KeyOpensU(const TPdfEncryption& e, std::string_view fileId, const std::string& key)
{
    if (e.R == 2)
        return e.U.size() >= 32 && Rc4(key, PasswordPad) == std::string_view(e.U).substr(0, 32);
    if (e.U.size() < 16)
        return false;
    std::string check = Rc4(key, Md5(std::string(PasswordPad) + std::string(fileId)));
    std::string stepKey = key;
    for (int i = 1; i <= 19; ++i) {
        for (std::size_t k = 0; k < key.size(); ++k)
            stepKey[k] = static_cast<char>(key[k] ^ i);
        check = Rc4(stepKey, check);
    }
    return check == std::string_view(e.U).substr(0, 16);
}

// The key sizes worth trying, best first. /Length is in bits, yet some writers give bytes, and
// revision 4 files often leave it at the default although their filters use 128 bits; the check
// against /U tells the right one.
std::vector<std::size_t> Rc4KeySizes(const TPdfEncryption& e)
{
    if (e.R == 2)
        return {5};
    std::vector<std::size_t> sizes;
    auto add = [&](std::size_t size) {
        if (std::find(sizes.begin(), sizes.end(), size) == sizes.end())
            sizes.push_back(size);
    };
    if (e.Length >= 40 && e.Length <= 128 && e.Length % 8 == 0)
        add(static_cast<std::size_t>(e.Length / 8));
    if (e.Length >= 5 && e.Length <= 16)
        add(static_cast<std::size_t>(e.Length));
    add(16);
    add(5);
    return sizes;
}

// The hash of revision 6: SHA-256 of the password, salt and user data, then rounds of AES-128 and
// a SHA-2 the round's own output picks, at least 64 of them.
std::string HardenedHash(std::string_view password, std::string_view salt, std::string_view userData)
{
    std::string k = Sha256(std::string(password) + std::string(salt) + std::string(userData));
    for (int round = 1;; ++round) {
        const std::string once = std::string(password) + k + std::string(userData);
        std::string k1;
        k1.reserve(once.size() * 64);
        for (int i = 0; i < 64; ++i)
            k1 += once;
        const std::string e = AesCbcEncryptNoPad(k.substr(0, 16), k.substr(16, 16), k1);
        // The first 16 bytes as one big-endian number, modulo 3: since 256 = 1 (mod 3) that is
        // the sum of the bytes modulo 3.
        unsigned sum = 0;
        for (int i = 0; i < 16; ++i)
            sum += static_cast<unsigned char>(e[i]);
        switch (sum % 3) {
        case 0: k = Sha256(e); break;
        case 1: k = Sha384(e); break;
        default: k = Sha512(e); break;
        }
        if (round >= 64 && static_cast<int>(static_cast<unsigned char>(e.back())) <= round - 32)
            break;
    }
    k.resize(32);
    return k;
}

std::string PasswordHash(int revision, std::string_view salt)
{
    return revision == 5 ? Sha256(salt) : HardenedHash({}, salt, {});
}

// AES data: a 16-byte IV, then the blocks; the padding goes when it is well formed.
std::string AesData(std::string_view key, std::string_view data)
{
    if (data.size() < 16)
        return {};
    std::string out;
    AesCbcDecrypt(key, data.substr(0, 16), data.substr(16), out);
    if (!out.empty()) {
        const auto pad = static_cast<unsigned char>(out.back());
        if (pad >= 1 && pad <= 16 && pad <= out.size() &&
            std::all_of(out.end() - pad, out.end(), [pad](char c) { return static_cast<unsigned char>(c) == pad; }))
            out.resize(out.size() - pad);
    }
    return out;
}

} // namespace

std::optional<TPdfDecryptor> TPdfDecryptor::Open(const TPdfEncryption& e, std::string_view firstFileId)
{
    if (e.Filter != "Standard")
        return std::nullopt;

    // Below version 4 everything is RC4 with the document's key; from 4 on, crypt filters say.
    auto methodOf = [&](const std::string& name) -> std::optional<TMethod> {
        if (e.V < 4)
            return TMethod::Rc4;
        if (name.empty() || name == "None" || name == "Identity")
            return TMethod::None;
        if (name == "V2")
            return TMethod::Rc4;
        if (name == "AESV2")
            return TMethod::Aes128;
        if (name == "AESV3")
            return TMethod::Aes256;
        return std::nullopt;
    };
    const std::optional<TMethod> strings = methodOf(e.StrMethod);
    const std::optional<TMethod> streams = methodOf(e.StmMethod);
    if (!strings || !streams)
        return std::nullopt;

    TPdfDecryptor d;
    d.FStringMethod = *strings;
    d.FStreamMethod = *streams;
    d.FEncryptMetadata = e.V < 4 || e.EncryptMetadata;

    if (e.R >= 2 && e.R <= 4) {
        if ((e.V != 1 && e.V != 2 && e.V != 4) || e.O.size() < 32)
            return std::nullopt;
        for (std::size_t size : Rc4KeySizes(e)) {
            std::string key = Rc4FileKey(e, firstFileId, size);
            if (Rc4KeyOpensU(e, firstFileId, key)) {
                d.FKey = std::move(key);
                break;
            }
        }
        if (d.FKey.empty())
            return std::nullopt; // the user password is not empty
    } else if (e.R == 5 || e.R == 6) {
        if (e.V != 5 || e.U.size() < 48 || e.UE.size() < 32)
            return std::nullopt;
        const std::string_view u(e.U);
        if (PasswordHash(e.R, u.substr(32, 8)) != u.substr(0, 32))
            return std::nullopt;
        const std::string intermediate = PasswordHash(e.R, u.substr(40, 8));
        AesCbcDecrypt(intermediate, std::string(16, '\0'), std::string_view(e.UE).substr(0, 32), d.FKey);
        if (d.FKey.size() != 32)
            return std::nullopt;
    } else {
        return std::nullopt;
    }
    // AES-256 data needs the 32-byte key of revisions 5 and 6.
    if ((d.FStringMethod == TMethod::Aes256 || d.FStreamMethod == TMethod::Aes256) && d.FKey.size() != 32)
        return std::nullopt;
    return d;
}

std::string TPdfDecryptor::Decrypt(TMethod method, std::string_view data, std::uint32_t object,
                                   std::uint16_t generation) const
{
    if (method == TMethod::None)
        return std::string(data);
    if (method == TMethod::Aes256)
        return AesData(FKey, data);
    // Each object has a key of its own, made from the document's and the object's number.
    std::string key = Md5(FKey + LittleEndian(object, 3) + LittleEndian(generation, 2) +
                          (method == TMethod::Aes128 ? "sAlT" : ""));
    key.resize(std::min<std::size_t>(FKey.size() + 5, 16));
    return method == TMethod::Aes128 ? AesData(key, data) : Rc4(key, data);
}

std::string TPdfDecryptor::DecryptString(std::string_view data, std::uint32_t object, std::uint16_t generation) const
{
    return Decrypt(FStringMethod, data, object, generation);
}

std::string TPdfDecryptor::DecryptStream(std::string_view data, std::uint32_t object, std::uint16_t generation) const
{
    return Decrypt(FStreamMethod, data, object, generation);
}

} // namespace trovex
