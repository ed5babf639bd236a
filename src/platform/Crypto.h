// SPDX-License-Identifier: MIT
// The few hashes and ciphers that opening protected documents needs, taken from the system's own
// cryptography: OpenSSL's libcrypto on POSIX systems, CNG (and CryptoAPI for RC4) on Windows.
// Bytes travel as std::string. Every function is safe to call from several threads at once.
// A failure of the system library throws std::runtime_error; an argument of the wrong size throws
// std::invalid_argument.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace trovex::crypto
{

/// The 16-byte MD5 digest of `data`.
std::string Md5(std::string_view data);

/// MD5 fed piece by piece. Final() returns the digest and starts the object anew.
class TMd5
{
public:
    TMd5();
    ~TMd5();
    TMd5(TMd5&&) noexcept;
    TMd5& operator=(TMd5&&) noexcept;
    TMd5(const TMd5&) = delete;
    TMd5& operator=(const TMd5&) = delete;

    void Update(std::string_view data);
    std::string Final();

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

/// The 32-, 48- and 64-byte SHA-2 digests of `data`.
std::string Sha256(std::string_view data);
std::string Sha384(std::string_view data);
std::string Sha512(std::string_view data);

/// RC4 over `data` (encryption and decryption are the same) with a key of 1 to 16 bytes, the
/// range every supported system accepts.
std::string Rc4(std::string_view key, std::string_view data);

/// AES-CBC decryption with a 16-, 24- or 32-byte key and a 16-byte `iv`, padding left in place. A
/// trailing partial block of `data` is dropped. False, with `out` empty, when the key or the IV
/// has the wrong size.
bool AesCbcDecrypt(std::string_view key, std::string_view iv, std::string_view data, std::string& out);

/// AES-CBC encryption without padding: a 16-, 24- or 32-byte key, a 16-byte `iv`, and `data` a
/// whole number of 16-byte blocks.
std::string AesCbcEncryptNoPad(std::string_view key, std::string_view iv, std::string_view data);

/// One 16-byte block decrypted with AES-256 in ECB mode.
std::string AesEcbDecryptBlock(std::string_view key32, std::string_view block16);

} // namespace trovex::crypto
