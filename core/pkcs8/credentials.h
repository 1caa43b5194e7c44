// A signer's credentials: the encrypted key file, its password and the
// certificate file, checked to belong together and kept in the own-credential
// slots of a DataSets record.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/datasets/datasets.h"
#include "core/rsa/rsa_key.h"

enum : std::uint32_t {
    kSlotOwnKey = 12,          // EncryptedPrivateKeyInfo DER
    kSlotOwnPassword = 13,     // the password and its NUL
    kSlotOwnCertificate = 14,  // certificate DER
};

enum : int {
    kCredentialsOk = 2000,
    kCredentialsCannotOpen = 1000,
    kCredentialsKey = 1003,          // the key cannot be decrypted
    kCredentialsCertificate = 1005,  // the certificate cannot be decoded
    kCredentialsUnreadable = 1009,   // a file is empty or cannot be read
    kCredentialsMismatch = 1011,     // key and certificate are not a pair
};

// Starts the record afresh (InitDataSets) and fills slots 13, 12 and 14 in
// that order; on failure the slots filled so far stay for the caller to release.
// Each file must be shorter than kDataItemFileLimit: a key file of that size
// or more is kCredentialsKey, such a certificate file kCredentialsCertificate.
int LoadCredentials(const char* password, const char* keyFileName, const char* certificateFileName, DataSets* sets);

// The stored password without its terminator. Slot 13 holds it with its
// NUL; an item stored without one is taken as it is. 0, or the DataSets
// result when there is none.
int GetCredentialPassword(const DataSets* sets, const unsigned char** password, std::size_t* length);

// 0 when the keys are a pair (a fixed text signed with MD2 and verified), 1 otherwise.
int CheckKeyPair(const RsaPublicKey* publicKey, const RsaPrivateKey* privateKey);
