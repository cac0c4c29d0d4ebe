#pragma once
// Verifying a downloaded archive before anything of it is unpacked: its MD5
// checksum from the feed, and its DSA signature against the public key of
// the property list. Both read the file in chunks, so an archive of any
// size is verified in little memory.

#include <string>

// Whether the file's MD5 digest, as 32 lowercase hexadecimal digits, is
// exactly `hash` (so a feed must write it in lowercase). An unreadable file
// does not match.
bool OMAUValidatePathWithMD5Hash(const std::string& path, const std::string& hash);

// Whether `signature` (base64 of a DER-encoded DSA signature, white space
// ignored) signs the file's SHA-256 digest for `publicKey` (a PEM "PUBLIC
// KEY"), as `openssl dgst -sha256 -sign key.pem FILE | base64` writes it.
// Fails closed: a missing or unreadable key, a key that is not DSA, a
// missing or malformed signature and an unreadable file all answer false.
bool OMAUValidatePathWithEncodedDSASignature(const std::string& path, const std::string& signature,
                                             const std::string& publicKey);
