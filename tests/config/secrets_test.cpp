#include <random>
#include <string>

#include <gtest/gtest.h>

#include "quorvane/config/secrets.hpp"
#include "quorvane/paths/utf8.hpp"

namespace quorvane {
namespace {

TEST(XorBytes, KeyRepeatsOverTheData) {
    EXPECT_EQ(_xor_bytes(std::string("\x01\x02\x03", 3), std::string("\x01\x01", 2)),
              std::string("\x00\x03\x02", 3));
    EXPECT_EQ(_xor_bytes("", "k"), "");
    EXPECT_THROW(_xor_bytes("x", ""), std::invalid_argument);
}

TEST(EncryptValue, StoredFormIsPrefixAndBase64OfTheMaskedBytes) {
    // "S" ^ "S" = 0, "e" ^ "t" = 0x11: two bytes give three characters and one "=".
    EXPECT_EQ(encrypt_value("Se"), "ENC::ABE=");
    EXPECT_EQ(encrypt_value("StoreMaskWord"), "ENC::AAAAAAAAAAAAAAAAAA==");
    EXPECT_EQ(encrypt_value(""), "");
}

TEST(DecryptValue, ValuesNotInStoredFormComeBackUnchanged) {
    EXPECT_EQ(decrypt_value(""), "");
    EXPECT_EQ(decrypt_value("plain secret"), "plain secret");
    EXPECT_EQ(decrypt_value("enc::ABE="), "enc::ABE=");
    EXPECT_EQ(decrypt_value("ENC::"), "");
}

TEST(DecryptValue, SkipsCharactersOutsideTheAlphabet) {
    EXPECT_EQ(decrypt_value("ENC::AB\nE="), "Se");
    EXPECT_EQ(decrypt_value("ENC:: A B E = "), "Se");
    EXPECT_EQ(decrypt_value("ENC::A*B!E="), "Se");
}

TEST(DecryptValue, StopsAtThePaddingThatCompletesTheGroup) {
    EXPECT_EQ(decrypt_value("ENC::ABE=trailing"), "Se");
    EXPECT_EQ(decrypt_value("ENC::AAAAAAAAAAAAAAAAAA==AAAA"), "StoreMaskWord");
}

TEST(DecryptValue, IncompleteLastGroupIsAFailure) {
    EXPECT_EQ(decrypt_value("ENC::ABE"), "ENC::ABE");      // three characters, no padding
    EXPECT_EQ(decrypt_value("ENC::AA"), "ENC::AA");        // two characters, no padding
    EXPECT_EQ(decrypt_value("ENC::AAAAA"), "ENC::AAAAA");  // a last group of one
    EXPECT_EQ(decrypt_value("ENC::A==="), "ENC::A===");    // padding cannot complete one
}

TEST(DecryptValue, InvalidUtf8AfterUnmaskingIsAFailure) {
    // The stored byte 0xAC unmasks with 'S' to 0xFF, which never occurs in UTF-8.
    const std::string stored = "ENC::rA==";
    EXPECT_EQ(decrypt_value(stored), stored);
}

TEST(Scrambling, NonAsciiSecretsComeBackWhole) {
    for (const std::string secret : {"pässwörd", "Åsa→—", "密码", "😀 emoji", "a%b;#c"}) {
        const std::string stored = encrypt_value(secret);
        EXPECT_EQ(stored.rfind(ENC_PREFIX, 0), 0u);
        EXPECT_EQ(decrypt_value(stored), secret);
    }
}

std::string random_text(std::mt19937& rng) {
    std::uniform_int_distribution<int> length(1, 40);
    std::uniform_int_distribution<int> kind(0, 3);
    std::string text;
    for (int i = length(rng); i > 0; --i) {
        char32_t cp;
        switch (kind(rng)) {
            case 0:
                cp = std::uniform_int_distribution<char32_t>(0, 0x7F)(rng);
                break;
            case 1:
                cp = std::uniform_int_distribution<char32_t>(0x80, 0x7FF)(rng);
                break;
            case 2:
                cp = std::uniform_int_distribution<char32_t>(0xE000, 0xFFFF)(rng);
                break;
            default:
                cp = std::uniform_int_distribution<char32_t>(0x10000, 0x10FFFF)(rng);
                break;
        }
        if (cp < 0x80) {
            text += static_cast<char>(cp);
        } else if (cp < 0x800) {
            text += static_cast<char>(0xC0 | (cp >> 6));
            text += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            text += static_cast<char>(0xE0 | (cp >> 12));
            text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (cp >> 18));
            text += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return text;
}

TEST(Scrambling, RoundTripHoldsForRandomTexts) {
    std::mt19937 rng(20261208);
    for (int i = 0; i < 5000; ++i) {
        const std::string text = random_text(rng);
        ASSERT_TRUE(is_valid_utf8(text));
        const std::string stored = encrypt_value(text);
        ASSERT_EQ(stored.find_first_of("\n\r "), std::string::npos);
        ASSERT_EQ(decrypt_value(stored), text) << "stored form " << stored;
    }
}

}  // namespace
}  // namespace quorvane
