// SPDX-License-Identifier: MIT
// The system's hashes and ciphers against published test vectors: RFC 1321 (MD5), the FIPS 180
// examples (SHA-2), RFC 6229 (RC4) and NIST SP 800-38A (AES).
#include "platform/Crypto.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <string_view>

namespace trovex::crypto
{
namespace
{

std::string FromHex(std::string_view hex)
{
    auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    return out;
}

std::string ToHex(std::string_view bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

const std::string MillionA(1000000, 'a');

// RFC 1321, appendix A.5, and the million-'a' message.
TEST(CryptoTest, Md5Vectors)
{
    struct Case { std::string message; const char* digest; };
    const Case cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
        {MillionA, "7707d6ae4e027c70eea2a935c2296f21"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 20));
        EXPECT_EQ(ToHex(Md5(c.message)), c.digest);
        // Fed in uneven pieces, the running hash must give the same digest, and Final() must
        // leave it ready for the next message.
        TMd5 md5;
        for (std::size_t at = 0, step = 1; at < c.message.size(); at += step, step = step * 3 + 1)
            md5.Update(std::string_view(c.message).substr(at, step));
        EXPECT_EQ(ToHex(md5.Final()), c.digest);
        md5.Update(c.message);
        EXPECT_EQ(ToHex(md5.Final()), c.digest);
    }
}

// The examples of FIPS 180: one block, two blocks, and a million 'a'.
TEST(CryptoTest, Sha2Vectors)
{
    const std::string twoBlocks256 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    const std::string twoBlocks512 = "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmn"
                                     "hijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu";
    struct Case { std::string (*hash)(std::string_view); const char* name; std::string message; const char* digest; };
    const Case cases[] = {
        {Sha256, "SHA-256", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {Sha256, "SHA-256", twoBlocks256, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {Sha256, "SHA-256", MillionA, "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        {Sha384, "SHA-384", "abc",
         "cb00753f45a35e8bb5a03d699ac65007272c32ab0eded1631a8b605a43ff5bed8086072ba1e7cc2358baeca134c825a7"},
        {Sha384, "SHA-384", twoBlocks512,
         "09330c33f71147e83d192fc782cd1b4753111b173b3b05d22fa08086e3b0f712fcc7c71a557e2db966c3e9fa91746039"},
        {Sha384, "SHA-384", MillionA,
         "9d0e1809716474cb086e834e310a4a1ced149e9c00f248527972cec5704c2a5b07b8b3dc38ecc4ebae97ddd87f3d8985"},
        {Sha512, "SHA-512", "abc",
         "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
         "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f"},
        {Sha512, "SHA-512", twoBlocks512,
         "8e959b75dae313da8cf4f72814fc143f8f7779c6eb9f7fa17299aeadb6889018"
         "501d289e4900f7e4331b99dec4b5433ac7d329eeb6dd26545e96e55b874be909"},
        {Sha512, "SHA-512", MillionA,
         "e718483d0ce769644e2e42c7bc15b4638e1f98b13b2044285632a803afa973eb"
         "de0ff244877ea60a4cb0432ce577c31beb009c5c2c49aa2e4eadb217ad8cc09b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " of " + std::to_string(c.message.size()) + " bytes");
        EXPECT_EQ(ToHex(c.hash(c.message)), c.digest);
    }
}

// RFC 6229: the key stream (RC4 of zeros) at offsets 0, 240, 1520 and 4080, for the key lengths a
// document's keys have. Short keys must not be salted or lengthened on the way to the system.
TEST(CryptoTest, Rc4KeyStreamVectors)
{
    struct Case { const char* key; std::size_t offset; const char* stream; };
    const Case cases[] = {
        {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8"},
        {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae"},
        {"0102030405", 1520, "3294f744d8f9790507e70f62e5bbceea"},
        {"0102030405", 4080, "068326a2118416d21f9d04b2cd1ca050"},
        {"833222772a", 0, "80ad97bdc973df8a2e879e92a497efda"},
        {"833222772a", 4080, "6349d126a37afcba89794f9804914fdc"},
        {"01020304050607", 0, "293f02d47f37c9b633f2af5285feb46b"},
        {"01020304050607", 1520, "d2aa902bd42d0d7cfd340cd45810529f"},
        {"0102030405060708", 0, "97ab8a1bf0afb96132f2f67258da15a8"},
        {"0102030405060708", 4080, "d5fa5a3469d29aaaf83d23589db8c85b"},
        {"0102030405060708090a", 0, "ede3b04643e586cc907dc21851709902"},
        {"0102030405060708090a", 240, "3cfd6cb58ee0fdde640176ad0000044d"},
        {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97"},
        {"0102030405060708090a0b0c0d0e0f10", 1520, "b40110c4190b5622a96116b0017ed297"},
        {"0102030405060708090a0b0c0d0e0f10", 4080, "ff38265c1642c1abe8d3c2fe5e572bf8"},
    };
    const std::string zeros(4096, '\0');
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " at " + std::to_string(c.offset));
        const std::string stream = Rc4(FromHex(c.key), zeros);
        ASSERT_EQ(stream.size(), zeros.size());
        EXPECT_EQ(ToHex(stream.substr(c.offset, 16)), c.stream);
        // The key stream XORs the data: the same call turns the stream back into zeros.
        EXPECT_EQ(Rc4(FromHex(c.key), stream), zeros);
    }
    EXPECT_EQ(Rc4(FromHex("0102030405"), ""), "");
    for (std::size_t size : {std::size_t{0}, std::size_t{17}, std::size_t{32}})
        EXPECT_THROW(Rc4(std::string(size, 'k'), "data"), std::invalid_argument) << size;
}

// NIST SP 800-38A, F.1 and F.2: the same four plaintext blocks under each key.
const char* const SpPlaintext = "6bc1bee22e409f96e93d7e117393172a" "ae2d8a571e03ac9c9eb76fac45af8e51"
                                "30c81c46a35ce411e5fbc1191a0a52ef" "f69f2445df4f9b17ad2b417be66c3710";
const char* const SpIv = "000102030405060708090a0b0c0d0e0f";

TEST(CryptoTest, AesCbcVectors)
{
    struct Case { const char* name; const char* key; const char* ciphertext; };
    const Case cases[] = {
        {"CBC-AES128", "2b7e151628aed2a6abf7158809cf4f3c",
         "7649abac8119b246cee98e9b12e9197d" "5086cb9b507219ee95db113a917678b2"
         "73bed6b8e3c1743b7116e69e22229516" "3ff1caa1681fac09120eca307586e1a7"},
        {"CBC-AES192", "8e73b0f7da0e6452c810f32b809079e562f8ead2522c6b7b",
         "4f021db243bc633d7178183a9fa071e8" "b4d9ada9ad7dedf4e5e738763f69145a"
         "571b242012fb7ae07fa9baac3df102e0" "08b0e27988598881d920a9e64f5615cd"},
        {"CBC-AES256", "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
         "f58c4c04d6e5f1ba779eabfb5f7bfbd6" "9cfc4e967edb808d679f777bc6702c7d"
         "39f23369a9d9bacfa530e26304231461" "b2eb05e2c39be9fcda6c19078c6a9d1b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string key = FromHex(c.key), iv = FromHex(SpIv);
        const std::string plain = FromHex(SpPlaintext), cipher = FromHex(c.ciphertext);
        EXPECT_EQ(ToHex(AesCbcEncryptNoPad(key, iv, plain)), c.ciphertext);
        std::string out = "stale";
        ASSERT_TRUE(AesCbcDecrypt(key, iv, cipher, out));
        EXPECT_EQ(ToHex(out), SpPlaintext);
        // A trailing partial block is dropped, not decrypted and not an error.
        ASSERT_TRUE(AesCbcDecrypt(key, iv, cipher + "12345", out));
        EXPECT_EQ(ToHex(out), SpPlaintext);
        // Decrypting from the second block on, with the first ciphertext block as the IV, gives
        // the rest of the plaintext: the chaining is CBC's.
        ASSERT_TRUE(AesCbcDecrypt(key, cipher.substr(0, 16), cipher.substr(16), out));
        EXPECT_EQ(out, plain.substr(16));
        ASSERT_TRUE(AesCbcDecrypt(key, iv, "", out));
        EXPECT_EQ(out, "");
    }
}

TEST(CryptoTest, AesEcbVectors)
{
    const std::string key = FromHex("603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4");
    const std::string plain = FromHex(SpPlaintext);
    const std::string cipher = FromHex("f3eed1bdb5d2a03c064b5a7e3db181f8" "591ccb10d410ed26dc5ba74a31362870"
                                       "b6ed21b99ca6f4f9f153e7b1beafed1d" "23304b7a39f9f3ff067d8d8f9e24ecc7");
    for (std::size_t block = 0; block < 4; ++block)
        EXPECT_EQ(ToHex(AesEcbDecryptBlock(key, cipher.substr(block * 16, 16))), ToHex(plain.substr(block * 16, 16)))
            << "ECB-AES256 block " << block + 1;
}

TEST(CryptoTest, AesRejectsWrongSizes)
{
    const std::string iv(16, 'i'), block(16, 'b');
    struct Case { std::size_t key, iv; };
    for (const Case& c : {Case{15, 16}, Case{17, 16}, Case{33, 16}, Case{0, 16}, Case{16, 15}, Case{32, 0}}) {
        SCOPED_TRACE(std::to_string(c.key) + "-byte key, " + std::to_string(c.iv) + "-byte IV");
        std::string out = "stale";
        EXPECT_FALSE(AesCbcDecrypt(std::string(c.key, 'k'), std::string(c.iv, 'i'), block, out));
        EXPECT_EQ(out, "");
        EXPECT_THROW(AesCbcEncryptNoPad(std::string(c.key, 'k'), std::string(c.iv, 'i'), block),
                     std::invalid_argument);
    }
    EXPECT_THROW(AesCbcEncryptNoPad(std::string(16, 'k'), iv, std::string(20, 'd')), std::invalid_argument);
    EXPECT_THROW(AesEcbDecryptBlock(std::string(16, 'k'), block), std::invalid_argument);
    EXPECT_THROW(AesEcbDecryptBlock(std::string(32, 'k'), std::string(15, 'b')), std::invalid_argument);
}

} // namespace
} // namespace trovex::crypto
